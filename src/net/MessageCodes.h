#pragma once

// Every message code the program sends or handles, by name. Clients send the 3xx and feature
// operation codes to the server; the server relays most of them back under a renumbered code
// (chat 301 as 101, feature operations as code + 10) and handles the requests itself.
namespace quillora::msg {

// ---- Session control -------------------------------------------------------------------------
inline constexpr int kParticipantJoined = 1;  // srv → clients: a participant joined / is known
inline constexpr int kWelcome = 2;            // srv → newcomer: your index, the server's version
inline constexpr int kParticipantLeft = 3;    // srv → clients: a participant left
inline constexpr int kHandleChanged = 4;      // srv → clients: a participant's handle or colour
inline constexpr int kOpenTool = 5;           // srv → clients: open a tool window
inline constexpr int kJoin = 201;             // → srv: join with handle and colour
inline constexpr int kLeave = 202;            // → srv: leave (or the watch timer's departure)
inline constexpr int kChangeHandle = 203;     // → srv: own handle or colour changed
inline constexpr int kHello = 204;            // → srv: first packet after connecting

// Admission to a session with a password (and the host removing someone). A peer that does not
// know these codes is simply never admitted to such a session; an open session never sends them.
//   kChallenge  srv → the connection that said hello: BinData = 32 random bytes, no items.
//   kAnswer     → srv: BinData = HMAC-SHA256 of those bytes under the password (UTF-8), no items.
//   kRefused    srv → the connection, which is then closed: SubCode = why (kRefused* below).
//   kRemoved    srv → all: SubCode kRemovedKicked or kRemovedBanned, item 1 the index (16-bit),
//               sent just before that participant's kParticipantLeft.
inline constexpr int kChallenge = 11;
inline constexpr int kRefused = 12;
inline constexpr int kRemoved = 13;
inline constexpr int kAnswer = 211;
inline constexpr int kRefusedWrongWord = 1;
inline constexpr int kRefusedWordRequired = 2;
inline constexpr int kRefusedKicked = 3;
inline constexpr int kRefusedBanned = 4;
inline constexpr int kRefusedKickedRecently = 5;
inline constexpr int kRefusedTooManyTries = 6;
inline constexpr int kRefusedTooFast = 7;
inline constexpr int kRemovedKicked = 1;
inline constexpr int kRemovedBanned = 2;

// Tools named by item 1 of kOpenTool.
inline constexpr int kToolCards = 2;
inline constexpr int kToolDrawing = 3;
inline constexpr int kToolHexMap = 4;
inline constexpr int kToolCounters = 5;
inline constexpr int kToolTable = 6;

// ---- Chat, file pieces, typing ---------------------------------------------------------------
inline constexpr int kSendChat = 301;       // → srv, relayed as kChat by sub-code
inline constexpr int kChat = 101;           // a chat line to show
inline constexpr int kSendFilePiece = 311;  // → srv, relayed as kFilePiece to the others
inline constexpr int kFilePiece = 111;
inline constexpr int kSendTyping = 321;  // → srv, relayed as kTyping to everyone
inline constexpr int kTyping = 121;

// Chat sub-codes.
inline constexpr int kChatPublic = 1;             // to everyone
inline constexpr int kChatWhisper = 2;            // to DestIndex only
inline constexpr int kChatResult = 3;             // result line under the sender's name
inline constexpr int kChatResultOthers = 4;       // the same, to everyone but the sender
inline constexpr int kChatNamed = 5;              // under a chosen speaker name
inline constexpr int kChatNamedResult = 6;        // result line under a chosen speaker name
inline constexpr int kChatNamedResultOthers = 7;  // the same, to everyone but the sender
inline constexpr int kChatResultPrivate = 8;      // result line for DestIndex only

// File piece sub-codes.
inline constexpr int kFileMayOpen = 1;
inline constexpr int kFileStoreOnly = 2;

// Typing sub-codes.
inline constexpr int kTypingStarts = 1;
inline constexpr int kTypingStops = 2;

// ---- Cards (4xx) -----------------------------------------------------------------------------
// (card codes)
inline constexpr int kCardNovaDeal = 421;       // srv → client: Nova hand (1) / clear access (2)
inline constexpr int kCardNovaCard = 422;       // srv → client: tarot (1), access (2), trump (3)
inline constexpr int kCardAccessList = 423;     // srv → all: one player's access card entry
inline constexpr int kCardHandSizeQuery = 425;  // srv → one client: report the hand size
inline constexpr int kCardAccessRequest = 426;  // → srv: access draw (1), turn (2), return (3)
inline constexpr int kCardNovaTrump = 427;   // → srv: draw-and-play (1), replace (2), discard (3)
inline constexpr int kCardHandSize = 428;    // → srv: answer to kCardHandSizeQuery
inline constexpr int kCardNovaRepair = 429;  // → srv: Nova repair or late join
inline constexpr int kCardRevDeal = 431;     // srv → client: Nova Revolution hand
inline constexpr int kCardRevCard = 432;     // srv → client: tarot (1), hand (3), plot (4)
inline constexpr int kCardPlotList = 433;    // srv → all: one player's plot summary
inline constexpr int kCardPlot = 436;        // → srv: own plot summary
inline constexpr int kCardRevTrump = 437;   // → srv: play (1), replace (2), discard (3), plot (4)
inline constexpr int kCardRevRepair = 438;  // → srv: Nova Revolution repair
inline constexpr int kCardGraphicTarot = 441;    // srv → all: graphic table's tarot text
inline constexpr int kCardPlaced = 442;          // relayed kCardMove: one placed card
inline constexpr int kCardGraphicStart = 443;    // srv → all: a new graphic table
inline constexpr int kCardGraphicRequest = 447;  // → srv: draw onto the table (1), discard (2)
inline constexpr int kCardMove = 448;            // → srv, relayed as kCardPlaced to everyone
inline constexpr int kCardGraphicRepair = 449;   // → srv: every placed card, please
inline constexpr int kCardClampDraw = 456;       // → srv: CLAMP draw (sub-code 1/2, +10 secret)

// ---- Drawing board (5xx) ---------------------------------------------------------------------
// (drawing codes)
inline constexpr int kSendDrawPointer = 501;  // → srv, relayed as kDrawPointer to the others
inline constexpr int kSendDrawText = 502;     // the same for text
inline constexpr int kSendDrawShape = 503;    // lines, boxes, freehand strokes
inline constexpr int kSendDrawEllipse = 504;  // ellipses
inline constexpr int kSendDrawErase = 505;    // page erase and eraser squares
inline constexpr int kSendDrawPage = 507;     // page changes
inline constexpr int kSendDrawImage = 509;    // an image file painted on a page
inline constexpr int kDrawRepair = 510;       // → srv: send me every drawn page
inline constexpr int kDrawPointer = 511;      // sent code + 10, as every participant gets it
inline constexpr int kDrawText = 512;
inline constexpr int kDrawShape = 513;
inline constexpr int kDrawEllipse = 514;
inline constexpr int kDrawErase = 515;
inline constexpr int kDrawPage = 517;
inline constexpr int kDrawImage = 519;
// Ours, srv → one participant after the host opened a table file, ahead of the catch-up answer
// that brings the opened pictures: SubCode 1, item 1 the highest page (16-bit). Pages beyond it
// go, and the answer that follows is a complete one (pages it does not bring are white). A
// peer that does not know the code ignores it and keeps pages the opened table has not got.
inline constexpr int kDrawPagesKept = 520;

// ---- Hex map (6xx) ---------------------------------------------------------------------------
// (hex map codes)
inline constexpr int kHexNewPage = 601;       // → srv: a page was created
inline constexpr int kHexPaint = 602;         // → srv: cells coloured
inline constexpr int kHexAddPiece = 603;      // → srv: a piece was added
inline constexpr int kHexDeletePiece = 604;   // → srv: a piece was deleted
inline constexpr int kHexMovePiece = 605;     // → srv: a piece was moved
inline constexpr int kHexTurnPiece = 606;     // → srv: a piece was turned
inline constexpr int kHexShowPage = 607;      // → srv: everyone shows this page (server's user)
inline constexpr int kHexMapSent = 608;       // → srv: a map file for a page has been sent
inline constexpr int kHexRequestMaps = 609;   // → srv: ask the server for every page
inline constexpr int kHexPageCreated = 611;   // relayed 601
inline constexpr int kHexCellsPainted = 612;  // relayed 602
inline constexpr int kHexPieceAdded = 613;    // relayed 603
inline constexpr int kHexPieceDeleted = 614;  // relayed 604
inline constexpr int kHexPieceMoved = 615;    // relayed 605
inline constexpr int kHexPieceTurned = 616;   // relayed 606
inline constexpr int kHexPageShown = 617;     // relayed 607, or the server's answer to 609
inline constexpr int kHexMapFile = 618;       // relayed 608, or the server's answer to 609
// Ours, srv → one participant after the host opened a table file, ahead of the maps of the
// opened table: kind 1, item 1 the page count (32-bit); pages beyond it go. A peer that does
// not know the code ignores it and keeps pages the opened table has not got (it cannot turn
// to them: clients follow the server's page).
inline constexpr int kHexPagesKept = 619;
// Kinds of kHexPaint: one cell, or a list of cells.
inline constexpr int kHexPaintOne = 1;
inline constexpr int kHexPaintList = 2;

// ---- Counters (7xx) --------------------------------------------------------------------------
// (counter codes)
inline constexpr int kCounterAdded = 701;       // → srv: a shared counter was added
inline constexpr int kCounterValue = 702;       // → srv: a shared counter's value changed
inline constexpr int kCounterCaption = 703;     // → srv: a shared counter got a new caption
inline constexpr int kCounterNothing = 704;     // → srv: only makes the counters up to it exist
inline constexpr int kCounterRequest = 709;     // → srv: send me every shared counter
inline constexpr int kCounterSet = 711;         // a counter completely (relayed 701, the repair)
inline constexpr int kCounterSetValue = 712;    // relayed kCounterValue
inline constexpr int kCounterSetCaption = 713;  // relayed kCounterCaption
inline constexpr int kCounterNoOp = 714;        // relayed kCounterNothing

// ---- Shared table (8xx) ----------------------------------------------------------------------
// (table codes)
inline constexpr int kTableSetCell = 801;  // → srv: a cell's text, relayed as kTableCell
inline constexpr int kTableAdd = 802;      // → srv: a row or column added, relayed as kTableAdded
inline constexpr int kTableDelete = 803;   // → srv: a row or column deleted, as kTableDeleted
inline constexpr int kTableRequest = 809;  // → srv: send me the whole table
inline constexpr int kTableCell = 811;
inline constexpr int kTableAdded = 812;
inline constexpr int kTableDeleted = 813;

// Sub-codes of kTableAdd / kTableDelete and their relayed codes.
inline constexpr int kTableColumn = 1;
inline constexpr int kTableRow = 2;

}  // namespace quillora::msg
