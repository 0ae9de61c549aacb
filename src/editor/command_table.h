#pragma once
// Every menu command of the schematic editor by its identifier, menu place,
// text and accelerator. A command whose work is not built yet stays in the
// menu, disabled, with a status tip saying what it will do: the window enables
// exactly the commands that have a handler.
#include <span>

namespace zephyrim {

enum EditorCommandId : int {
  kCmdNew = 100,
  kCmdOpen = 101,
  kCmdSave = 103,
  kCmdSaveAs = 104,
  kCmdPrint = 105,
  kCmdPrinterSetup = 106,
  kCmdNetlistAs = 107,
  kCmdSaveExit = 108,
  kCmdQuit = 109,
  kCmdPageNew = 110,
  kCmdPageList = 111,
  kCmdPagePrevious = 112,
  kCmdPageNext = 113,
  kCmdPageFirst = 114,
  kCmdRecent1 = 115,
  kCmdRecent5 = 119,
  kCmdPartList = 120,
  kCmdFlatNetlist = 121,
  kCmdInsertWire = 141,
  kCmdInsertJunction = 142,
  kCmdInsertGround = 143,
  kCmdInsertRail = 144,
  kCmdInsertLogic = 145,
  kCmdInsertLabel = 146,
  kCmdInsertText = 147,
  kCmdInsertPin = 148,
  kCmdInsertPart = 150,
  kCmdInsertModel = 153,
  kCmdSubcktNew = 160,
  kCmdSubcktOpen = 161,
  kCmdSubcktClose = 162,
  kCmdSubcktSymbol = 163,
  kCmdSubcktOptions = 164,
  kCmdSubcktSaveModel = 165,
  kCmdZoomIn = 170,
  kCmdZoomOut = 171,
  kCmdZoomArea = 172,
  kCmdFullPage = 173,
  kCmdRefresh = 175,
  kCmdNodeNumbers = 176,
  kCmdBias = 177,
  kCmdDrawOptions = 190,
  kCmdNetlistOptions = 192,
  kCmdAutoPan = 193,
  kCmdAutoJunction = 194,
  kCmdAutoSave = 195,
  kCmdChooseFont = 196,
  kCmdDefaultFont = 197,
  kCmdRubberBand = 198,
  kCmdSimSetup = 200,
  kCmdOpenMis = 201,
  kCmdViewCir = 202,
  kCmdViewMap = 203,
  kCmdRun = 204,
  kCmdPlot = 205,
  kCmdBrowseOut = 206,
  kCmdViewCmd = 207,
  kCmdEngineDefault = 208,
  kCmdEngineXspice = 209,
  kCmdEngineSpice3 = 210,
  kCmdEngineOther = 211,
  kCmdTune = 212,  // beyond the classic set: the tuner panel
  kCmdSelectObject = 221,
  kCmdSelectGroup = 222,
  kCmdSelectArea = 223,
  kCmdSelectSubckt = 224,
  kCmdSelectAll = 225,
  kCmdClearSelection = 226,
  kCmdCut = 227,
  kCmdCopy = 228,
  kCmdPaste = 229,
  kCmdMove = 230,
  kCmdAttributes = 231,
  kCmdTitleBlock = 233,
  kCmdRotate = 234,
  kCmdMirror = 235,
  kCmdFlip = 236,
  kCmdDelete = 237,
  kCmdUndo = 238,
  kCmdFind = 239,
  kCmdMoveOnly = 240,
  kCmdDisable = 241,
  kCmdEnable = 242,
  kCmdEnableAll = 243,
  kCmdCopySchematic = 250,
  kCmdCopyScreen = 251,
  kCmdPictureWmf = 252,
  kCmdCaptureBmp = 253,
  kCmdSymbolUtilities = 254,
  kCmdModelDatabase = 255,
  kCmdOpenLibrary = 256,
  kCmdModelLinks = 257,
  kCmdPictureEmf = 258,
  kCmdReloadSymbols = 260,
  kCmdRedoConnections = 261,
  kCmdEditSymbolLibrary = 262,
  kCmdPictureBmp = 263,
  kCmdPicturePng = 264,
  kCmdCapturePng = 265,
  kCmdWriteSymbolIndex = 266,
  kCmdHelp = 301,
  kCmdHelpIndex = 302,
  kCmdAbout = 303,
  kCmdManualStart = 910,
  kCmdManualGuide = 911,
  kCmdManualReference = 912,
  // Commands of this version beyond the classic set.
  kCmdRedo = 1100,
  kCmdWheelZoom = 1101,
};

struct EditorCommand {
  int id;
  const char* menu;         // menu path, "/" between levels: "Edit/Select Mode"
  const char* text;         // with its & mnemonic
  const char* accelerator;  // a key sequence in portable text form, or empty
  const char* tip;          // status tip
  bool checkable = false;
  const char* alternate = "";  // a second accelerator of the same command, or empty
};

// In menu order; a separator is an entry with id 0.
std::span<const EditorCommand> editor_commands();
const EditorCommand* editor_command(int id);

}  // namespace zephyrim
