#include "editor/command_table.h"

#include <array>

namespace zephyrim {

namespace {

constexpr bool B = true;   // built
constexpr bool L = false;  // comes later: disabled

constexpr EditorCommand kCommands[] = {
    {kCmdNew, "&File", "&New", "Ctrl+N", "Start a new schematic", B},
    {kCmdOpen, "&File", "&Open...", "Ctrl+O", "Open a schematic file", B},
    {kCmdSave, "&File", "&Save", "Ctrl+S", "Save the schematic", B},
    {kCmdSaveAs, "&File", "Save &As...", "", "Save the schematic under a new name", B},
    {0, "&File", "", "", "", B},
    {kCmdPrint, "&File", "&Print...", "Ctrl+P", "Print the pages of the schematic", L},
    {kCmdPrinterSetup, "&File", "P&rinter Setup...", "", "Choose and set up the printer", L},
    {0, "&File", "", "", "", B},
    {kCmdNetlistAs, "&File", "&Netlist As...", "", "Write the SPICE netlist under a chosen name", B},
    {kCmdPartList, "&File", "Part &List...", "", "Export the part list", L},
    {kCmdFlatNetlist, "&File", "&Flat Netlist...", "", "Start the flat-netlist utility", L},
    {0, "&File", "", "", "", B},
    {kCmdSaveExit, "&File", "Save && E&xit", "Ctrl+W", "Save, compile the netlist and close", L},
    {kCmdQuit, "&File", "&Quit", "Alt+X", "Close the editor", B},
    {0, "&File", "", "", "", B},
    {115, "&File", "&1", "", "Open a recent schematic", B},
    {116, "&File", "&2", "", "Open a recent schematic", B},
    {117, "&File", "&3", "", "Open a recent schematic", B},
    {118, "&File", "&4", "", "Open a recent schematic", B},
    {119, "&File", "&5", "", "Open a recent schematic", B},

    {kCmdSelectObject, "&Edit/Select &Mode", "&Object", "", "Select one object at a time", B, true},
    {kCmdSelectGroup, "&Edit/Select &Mode", "&Group", "F2", "Add clicked objects to the selection", B, true},
    {kCmdSelectArea, "&Edit/Select &Mode", "&Area", "F3", "Select the objects inside a dragged rectangle", B, true},
    {kCmdSelectSubckt, "&Edit/Select &Mode", "&Subckt", "F4", "Select a whole subcircuit block", B, true},
    {kCmdSelectAll, "&Edit/Select &Mode", "A&ll", "", "Select everything on the page", B, true},
    {kCmdClearSelection, "&Edit", "&Clear Selection", "Esc", "Deselect all", B},
    {0, "&Edit", "", "", "", B},
    {kCmdUndo, "&Edit", "&Undo", "Alt+Backspace", "Undo the last edit", B},
    {kCmdCut, "&Edit", "Cu&t", "Ctrl+X", "Cut the selection to the paste buffer", B},
    {kCmdCopy, "&Edit", "&Copy", "Ctrl+C", "Copy the selection to the paste buffer", B},
    {kCmdPaste, "&Edit", "&Paste", "Ctrl+V", "Paste the paste buffer", B},
    {kCmdMove, "&Edit", "&Move", "Ctrl+M", "Move the selection; attached wires follow", B},
    {kCmdMoveOnly, "&Edit", "Move &Only", "Ctrl+Shift+M", "Move the selection without its wires", B},
    {kCmdDelete, "&Edit", "&Delete", "Del", "Delete the selection", B},
    {0, "&Edit", "", "", "", B},
    {kCmdRotate, "&Edit", "&Rotate", "R", "Rotate the selected parts", B},
    {kCmdMirror, "&Edit", "M&irror", "M", "Mirror the selected parts", B},
    {kCmdFlip, "&Edit", "&Flip", "F", "Flip the selected parts", B},
    {kCmdAttributes, "&Edit", "&Attributes...", "A", "Edit the selected part's attributes", B},
    {0, "&Edit", "", "", "", B},
    {kCmdDisable, "&Edit", "Disa&ble", "Ctrl+D", "Disable the selected objects", B},
    {kCmdEnable, "&Edit", "&Enable", "Ctrl+E", "Enable the selected objects", B},
    {kCmdEnableAll, "&Edit", "Enable A&ll", "Ctrl+Shift+E", "Enable every object of the page", B},
    {0, "&Edit", "", "", "", B},
    {kCmdFind, "&Edit", "F&ind...", "Ctrl+F", "Find parts, labels, texts, subcircuits or nodes",B},
    {kCmdTitleBlock, "&Edit", "&Title Block...", "", "Edit the page's title block", B},

    {kCmdZoomIn, "&View", "Zoom &In", "+", "Zoom in", B},
    {kCmdZoomOut, "&View", "Zoom &Out", "-", "Zoom out", B},
    {kCmdZoomArea, "&View", "Zoom &Area", "", "Zoom to a dragged rectangle", B},
    {kCmdFullPage, "&View", "&Full Page", "*", "Fit the page to the window", B},
    {kCmdRefresh, "&View", "&Refresh", "", "Redraw the page", B},
    {0, "&View", "", "", "", B},
    {kCmdNodeNumbers, "&View", "&Node Numbers", "Alt+N", "Show the node numbers", B, true},
    {kCmdBias, "&View", "&Bias Voltages and Currents", "Alt+B", "Show the operating point", L, true},

    {kCmdInsertWire, "&Insert", "&Wire", "W", "Draw wires", B, true},
    {kCmdInsertJunction, "&Insert", "&Junction", "J", "Place junction dots", B, true},
    {kCmdInsertGround, "&Insert", "&Ground", "G", "Place ground symbols", B},
    {kCmdInsertRail, "&Insert", "&Power Rail", "V", "Place power rails", B},
    {kCmdInsertLogic, "&Insert", "&U Logic Element Symbol...", "", "Place a U logic element", L},
    {kCmdInsertPin, "&Insert", "I/O P&in", "P", "Place subcircuit I/O pins", B},
    {kCmdInsertPart, "&Insert", "Part &Symbol...", "Ins", "Choose a part from the symbol library", B},
    {kCmdInsertModel, "&Insert", "Zephyrim Library &Model...", "", "Place a part from the model database", L},
    {0, "&Insert", "", "", "", B},
    {kCmdInsertLabel, "&Insert", "&Label Node", "L", "Label nodes", B, true},
    {kCmdInsertText, "&Insert", "&Text", "T", "Place text objects", B, true},

    {kCmdPageNew, "&Project/&Page", "&New", "", "Add a page", B},
    {kCmdPagePrevious, "&Project/&Page", "&Previous", "Ctrl+PgUp", "Go to the previous page", B},
    {kCmdPageNext, "&Project/&Page", "Ne&xt", "Ctrl+PgDown", "Go to the next page", B},
    {kCmdPageFirst, "&Project/&Page", "&1st Page", "Ctrl+Home", "Go to the first page", B},
    {kCmdPageList, "&Project/&Page", "&Open/Delete...", "", "Choose or delete pages", B},
    {kCmdSubcktNew, "&Project/&Subcircuit", "&New...", "", "Make a subcircuit block", B},
    {kCmdSubcktOpen, "&Project/&Subcircuit", "&Open", "F5", "Open a subcircuit block for editing", B},
    {kCmdSubcktClose, "&Project/&Subcircuit", "&Close", "Ctrl+F5", "Close the open subcircuit block", B},
    {kCmdSubcktSymbol, "&Project/&Subcircuit", "&Symbol...", "", "Make the block's symbol", L},
    {kCmdSubcktOptions, "&Project/&Subcircuit", "O&ptions...", "", "Block options", B},
    {kCmdSubcktSaveModel, "&Project/&Subcircuit", "Save as &Model...", "", "Write the block as a model", B},
    {kCmdModelLinks, "&Project", "Add/Edit Model &Links...", "", "Library links of the project",B},

    {kCmdDrawOptions, "&Options", "&Drawing...", "", "Drawing options",B},
    {kCmdNetlistOptions, "&Options", "&Netlist...", "", "Netlist options", L},
    {0, "&Options", "", "", "", B},
    {kCmdAutoPan, "&Options", "Auto &Panning", "", "Scroll when the cursor reaches the edge", B, true},
    {kCmdAutoJunction, "&Options", "Auto &Junction", "", "Add junction dots automatically", B, true},
    {kCmdRubberBand, "&Options", "&Rubberband wires", "", "Wires follow moved parts", B, true},
    {kCmdAutoSave, "&Options", "Auto &Save...", "", "Periodic saving",B},
    {0, "&Options", "", "", "", B},
    {kCmdChooseFont, "&Options", "Choose &Font...", "", "Font of the schematic's texts",B},
    {kCmdDefaultFont, "&Options", "&Default Font", "", "Back to the built-in font",B},

    {kCmdSimSetup, "&Simulation", "&Setup...", "F8", "Analyses and options of the simulation", B},
    {kCmdOpenMis, "&Simulation", "Open User SPICE Commands File (.mis)", "Ctrl+F8", "Edit the user commands", B},
    {kCmdRun, "&Simulation", "RUN &Simulation", "F9", "Netlist and simulate", B},
    {kCmdEngineDefault, "&Simulation/Simulator &Engine Option", "&Default", "", "Default engine", B, true},
    {kCmdEngineXspice, "&Simulation/Simulator &Engine Option", "&XSPICE", "", "XSPICE engine", B, true},
    {kCmdEngineSpice3, "&Simulation/Simulator &Engine Option", "SPICE&3", "", "SPICE3 engine", B, true},
    {kCmdEngineOther, "&Simulation/Simulator &Engine Option", "&Other", "", "Another simulator", B, true},
    {0, "&Simulation", "", "", "", B},
    {kCmdViewCir, "&Simulation", "View SPICE &Circuit File (.cir)", "", "Open the netlist", B},
    {kCmdViewCmd, "&Simulation", "View Setup Co&mmands File (.cmd)", "", "Open the command file", B},
    {kCmdViewMap, "&Simulation", "View Netlist Cross Ref. &Map File (.map)", "", "Open the map file", B},
    {kCmdPlot, "&Simulation", "&Plot Data (Post-Processor)", "F11", "Start the waveform viewer", B},
    {kCmdBrowseOut, "&Simulation", "&Browse Output File (.out)", "F12", "Browse the simulator's output", B},

    {kCmdCopySchematic, "&Tools/&Copy to Clipboard", "&Schematic", "", "Copy the page as a picture", B},
    {kCmdCopyScreen, "&Tools/&Copy to Clipboard", "Screen &Bitmap", "", "Copy the window as a bitmap", B},
    {kCmdPictureWmf, "&Tools/Save to &Picture File/&Schematic", ".&wmf", "", "Save the page as a picture", L},
    {kCmdPictureEmf, "&Tools/Save to &Picture File/&Schematic", ".&emf", "", "Save the page as a picture", L},
    {kCmdPictureBmp, "&Tools/Save to &Picture File/&Schematic", ".&bmp", "", "Save the page as a bitmap", L},
    {kCmdPicturePng, "&Tools/Save to &Picture File/&Schematic", ".&png", "", "Save the page as a PNG", L},
    {kCmdCaptureBmp, "&Tools/Save to &Picture File/Screen &Capture", ".&bmp", "", "Save the window", L},
    {kCmdCapturePng, "&Tools/Save to &Picture File/Screen &Capture", ".&png", "", "Save the window", L},
    {kCmdSymbolUtilities, "&Tools", "S&ymbol Utilities...", "", "The symbol editor", L},
    {kCmdEditSymbolLibrary, "&Tools", "&Edit Symbol Library File", "", "Open the library in the text editor", L},
    {kCmdWriteSymbolIndex, "&Tools", "&Write Symbol File Index", "", "Rebuild the library's index", L},
    {kCmdModelDatabase, "&Tools/&Model Libraries", "Model &Database", "Ctrl+L", "The model database", L},
    {kCmdOpenLibrary, "&Tools/&Model Libraries", "&Open Library File...", "", "Browse a .lib file", L},
    {kCmdReloadSymbols, "&Tools", "&Reload Symbols", "", "Reload every symbol in use from the library", L},
    {kCmdRedoConnections, "&Tools", "Redo &Connections", "", "Recompute the automatic junctions", B},

    {kCmdHelp, "&Help", "&Help", "", "The editor's help", L},
    {kCmdHelpIndex, "&Help", "Help &Index", "", "The help index", L},
    {kCmdManualStart, "&Help", "&Getting Started", "", "GettingStarted.pdf", L},
    {kCmdManualGuide, "&Help", "&User's Guide", "", "UsersGuide.pdf", L},
    {kCmdManualReference, "&Help", "&Reference", "", "Reference.pdf", L},
    {kCmdAbout, "&Help", "&About", "", "About the editor", L},
};

}  // namespace

std::span<const EditorCommand> editor_commands() { return kCommands; }

const EditorCommand* editor_command(int id) {
  for (const EditorCommand& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace zephyrim
