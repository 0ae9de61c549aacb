#include "editor/command_table.h"

#include <array>

namespace zephyrim {

namespace {

constexpr EditorCommand kCommands[] = {
    {kCmdNew, "&File", "&New", "Ctrl+N", "Start a new schematic"},
    {kCmdOpen, "&File", "&Open...", "Ctrl+O", "Open a schematic file"},
    {kCmdSave, "&File", "&Save", "Ctrl+S", "Save the schematic"},
    {kCmdSaveAs, "&File", "Save &As...", "", "Save the schematic under a new name"},
    {0, "&File", "", "", ""},
    {kCmdPrint, "&File", "&Print...", "Ctrl+P", "Print the pages of the schematic"},
    {kCmdPrinterSetup, "&File", "P&rinter Setup...", "", "Choose and set up the printer"},
    {0, "&File", "", "", ""},
    {kCmdNetlistAs, "&File", "&Netlist As...", "", "Write the SPICE netlist under a chosen name"},
    {kCmdPartList, "&File", "Part &List...", "", "Export the part list"},
    {kCmdFlatNetlist, "&File", "&Flat Netlist...", "", "Start the flat-netlist utility"},
    {0, "&File", "", "", ""},
    {kCmdSaveExit, "&File", "Save && E&xit", "Ctrl+W", "Save, compile the netlist and close"},
    {kCmdQuit, "&File", "&Quit", "Alt+X", "Close the editor"},
    {0, "&File", "", "", ""},
    {115, "&File", "&1", "", "Open a recent schematic"},
    {116, "&File", "&2", "", "Open a recent schematic"},
    {117, "&File", "&3", "", "Open a recent schematic"},
    {118, "&File", "&4", "", "Open a recent schematic"},
    {119, "&File", "&5", "", "Open a recent schematic"},

    {kCmdSelectObject, "&Edit/Select &Mode", "&Object", "", "Select one object at a time", true},
    {kCmdSelectGroup, "&Edit/Select &Mode", "&Group", "F2", "Add clicked objects to the selection", true},
    {kCmdSelectArea, "&Edit/Select &Mode", "&Area", "F3", "Select the objects inside a dragged rectangle",
     true},
    {kCmdSelectSubckt, "&Edit/Select &Mode", "&Subckt", "F4", "Select a whole subcircuit block", true},
    {kCmdSelectAll, "&Edit/Select &Mode", "A&ll", "", "Select everything on the page", true},
    {kCmdClearSelection, "&Edit", "&Clear Selection", "Esc", "Deselect all"},
    {0, "&Edit", "", "", ""},
    {kCmdUndo, "&Edit", "&Undo", "Alt+Backspace", "Undo the last edit", false, "Ctrl+Z"},
    {kCmdRedo, "&Edit", "Re&do", "Ctrl+Y", "Redo the last undone edit", false, "Ctrl+Shift+Z"},
    {kCmdCut, "&Edit", "Cu&t", "Ctrl+X", "Cut the selection to the paste buffer"},
    {kCmdCopy, "&Edit", "&Copy", "Ctrl+C", "Copy the selection to the paste buffer"},
    {kCmdPaste, "&Edit", "&Paste", "Ctrl+V", "Paste the paste buffer"},
    {kCmdMove, "&Edit", "&Move", "Ctrl+M", "Move the selection; attached wires follow"},
    {kCmdMoveOnly, "&Edit", "Move &Only", "Ctrl+Shift+M", "Move the selection without its wires"},
    {kCmdDelete, "&Edit", "&Delete", "Del", "Delete the selection"},
    {0, "&Edit", "", "", ""},
    {kCmdRotate, "&Edit", "&Rotate", "R", "Rotate the selected parts"},
    {kCmdMirror, "&Edit", "M&irror", "M", "Mirror the selected parts"},
    {kCmdFlip, "&Edit", "&Flip", "F", "Flip the selected parts"},
    {kCmdAttributes, "&Edit", "&Attributes...", "A", "Edit the selected part's attributes"},
    {0, "&Edit", "", "", ""},
    {kCmdDisable, "&Edit", "Disa&ble", "Ctrl+D", "Disable the selected objects"},
    {kCmdEnable, "&Edit", "&Enable", "Ctrl+E", "Enable the selected objects"},
    {kCmdEnableAll, "&Edit", "Enable A&ll", "Ctrl+Shift+E", "Enable every object of the page"},
    {0, "&Edit", "", "", ""},
    {kCmdFind, "&Edit", "F&ind...", "Ctrl+F", "Find parts, labels, texts, subcircuits or nodes"},
    {kCmdTitleBlock, "&Edit", "&Title Block...", "", "Edit the page's title block"},

    {kCmdZoomIn, "&View", "Zoom &In", "+", "Zoom in"},
    {kCmdZoomOut, "&View", "Zoom &Out", "-", "Zoom out"},
    {kCmdZoomArea, "&View", "Zoom &Area", "", "Zoom to a dragged rectangle"},
    {kCmdFullPage, "&View", "&Full Page", "*", "Fit the page to the window"},
    {kCmdRefresh, "&View", "&Refresh", "", "Redraw the page"},
    {0, "&View", "", "", ""},
    {kCmdNodeNumbers, "&View", "&Node Numbers", "Alt+N", "Show the node numbers", true},
    {kCmdBias, "&View", "&Bias Voltages and Currents", "Alt+B", "Show the operating point", true},

    {kCmdInsertWire, "&Insert", "&Wire", "W", "Draw wires", true},
    {kCmdInsertJunction, "&Insert", "&Junction", "J", "Place junction dots", true},
    {kCmdInsertGround, "&Insert", "&Ground", "G", "Place ground symbols"},
    {kCmdInsertRail, "&Insert", "&Power Rail", "V", "Place power rails"},
    {kCmdInsertLogic, "&Insert", "&U Logic Element Symbol...", "", "Place a U logic element"},
    {kCmdInsertPin, "&Insert", "I/O P&in", "P", "Place subcircuit I/O pins"},
    {kCmdInsertPart, "&Insert", "Part &Symbol...", "Ins", "Choose a part from the symbol library"},
    {kCmdInsertModel, "&Insert", "Zephyrim Library &Model...", "", "Place a part from the model database"},
    {0, "&Insert", "", "", ""},
    {kCmdInsertLabel, "&Insert", "&Label Node", "L", "Label nodes", true},
    {kCmdInsertText, "&Insert", "&Text", "T", "Place text objects", true},

    {kCmdPageNew, "&Project/&Page", "&New", "", "Add a page"},
    {kCmdPagePrevious, "&Project/&Page", "&Previous", "Ctrl+PgUp", "Go to the previous page"},
    {kCmdPageNext, "&Project/&Page", "Ne&xt", "Ctrl+PgDown", "Go to the next page"},
    {kCmdPageFirst, "&Project/&Page", "&1st Page", "Ctrl+Home", "Go to the first page"},
    {kCmdPageList, "&Project/&Page", "&Open/Delete...", "", "Choose or delete pages"},
    {kCmdSubcktNew, "&Project/&Subcircuit", "&New...", "", "Make a subcircuit block"},
    {kCmdSubcktOpen, "&Project/&Subcircuit", "&Open", "F5", "Open a subcircuit block for editing"},
    {kCmdSubcktClose, "&Project/&Subcircuit", "&Close", "Ctrl+F5", "Close the open subcircuit block"},
    {kCmdSubcktSymbol, "&Project/&Subcircuit", "&Symbol...", "", "Make the block's symbol"},
    {kCmdSubcktOptions, "&Project/&Subcircuit", "O&ptions...", "", "Block options"},
    {kCmdSubcktSaveModel, "&Project/&Subcircuit", "Save as &Model...", "", "Write the block as a model"},
    {kCmdModelLinks, "&Project", "Add/Edit Model &Links...", "", "Library links of the project"},

    {kCmdDrawOptions, "&Options", "&Drawing...", "", "Drawing options"},
    {kCmdNetlistOptions, "&Options", "&Netlist...", "", "Netlist options"},
    {0, "&Options", "", "", ""},
    {kCmdAutoPan, "&Options", "Auto &Panning", "", "Scroll when the cursor reaches the edge", true},
    {kCmdAutoJunction, "&Options", "Auto &Junction", "", "Add junction dots automatically", true},
    {kCmdRubberBand, "&Options", "&Rubberband wires", "", "Wires follow moved parts", true},
    {kCmdWheelZoom, "&Options", "Mouse &Wheel Zooms", "",
     "The wheel zooms without Ctrl (with Ctrl it always does)", true},
    {kCmdAutoSave, "&Options", "Auto &Save...", "", "Periodic saving"},
    {0, "&Options", "", "", ""},
    {kCmdChooseFont, "&Options", "Choose &Font...", "", "Font of the schematic's texts"},
    {kCmdDefaultFont, "&Options", "&Default Font", "", "Back to the built-in font"},

    {kCmdSimSetup, "&Simulation", "&Setup...", "F8", "Analyses and options of the simulation"},
    {kCmdOpenMis, "&Simulation", "Open User SPICE Commands File (.mis)", "Ctrl+F8", "Edit the user commands"},
    {kCmdRun, "&Simulation", "RUN &Simulation", "F9", "Netlist and simulate"},
    {kCmdTune, "&Simulation", "&Tune...", "", "Change part values with sliders and see the waveforms follow",
     true},
    {kCmdEngineDefault, "&Simulation/Simulator &Engine Option", "&Default", "", "Default engine", true},
    {kCmdEngineXspice, "&Simulation/Simulator &Engine Option", "&XSPICE", "", "XSPICE engine", true},
    {kCmdEngineSpice3, "&Simulation/Simulator &Engine Option", "SPICE&3", "", "SPICE3 engine", true},
    {kCmdEngineOther, "&Simulation/Simulator &Engine Option", "&Other", "", "Another simulator", true},
    {0, "&Simulation", "", "", ""},
    {kCmdViewCir, "&Simulation", "View SPICE &Circuit File (.cir)", "", "Open the netlist"},
    {kCmdViewCmd, "&Simulation", "View Setup Co&mmands File (.cmd)", "", "Open the command file"},
    {kCmdViewMap, "&Simulation", "View Netlist Cross Ref. &Map File (.map)", "", "Open the map file"},
    {kCmdPlot, "&Simulation", "&Plot Data (Post-Processor)", "F11", "Start the waveform viewer"},
    {kCmdBrowseOut, "&Simulation", "&Browse Output File (.out)", "F12", "Browse the simulator's output"},

    {kCmdCopySchematic, "&Tools/&Copy to Clipboard", "&Schematic", "", "Copy the page as a picture"},
    {kCmdCopyScreen, "&Tools/&Copy to Clipboard", "Screen &Bitmap", "", "Copy the window as a bitmap"},
    {kCmdPictureWmf, "&Tools/Save to &Picture File/&Schematic", ".&svg", "", "Save the page as SVG"},
    {kCmdPictureEmf, "&Tools/Save to &Picture File/&Schematic", ".&pdf", "", "Save the page as PDF"},
    {kCmdPictureBmp, "&Tools/Save to &Picture File/&Schematic", ".&bmp", "", "Save the page as a bitmap"},
    {kCmdPicturePng, "&Tools/Save to &Picture File/&Schematic", ".&png", "", "Save the page as a PNG"},
    {kCmdCaptureBmp, "&Tools/Save to &Picture File/Screen &Capture", ".&bmp", "", "Save the window"},
    {kCmdCapturePng, "&Tools/Save to &Picture File/Screen &Capture", ".&png", "", "Save the window"},
    {kCmdSymbolUtilities, "&Tools", "S&ymbol Utilities...", "", "The symbol editor"},
    {kCmdEditSymbolLibrary, "&Tools", "&Edit Symbol Library File", "", "Open the library in the text editor"},
    {kCmdWriteSymbolIndex, "&Tools", "&Write Symbol File Index", "", "Rebuild the library's index"},
    {kCmdModelDatabase, "&Tools/&Model Libraries", "Model &Database", "Ctrl+L", "The model database"},
    {kCmdOpenLibrary, "&Tools/&Model Libraries", "&Open Library File...", "", "Browse a .lib file"},
    {kCmdReloadSymbols, "&Tools", "&Reload Symbols", "", "Reload every symbol in use from the library"},
    {kCmdRedoConnections, "&Tools", "Redo &Connections", "", "Recompute the automatic junctions"},

    {kCmdHelp, "&Help", "&Help", "", "The editor's help"},
    {kCmdHelpIndex, "&Help", "Help &Index", "", "The help index"},
    {kCmdManualStart, "&Help", "&Getting Started", "", "GettingStarted.pdf"},
    {kCmdManualGuide, "&Help", "&User's Guide", "", "UsersGuide.pdf"},
    {kCmdManualReference, "&Help", "&Reference", "", "Reference.pdf"},
    {kCmdAbout, "&Help", "&About", "", "About the editor"},
};

}  // namespace

std::span<const EditorCommand> editor_commands() {
  return kCommands;
}

const EditorCommand* editor_command(int id) {
  for (const EditorCommand& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace zephyrim
