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
inline constexpr int kSendTyping = 321;     // → srv, relayed as kTyping to everyone
inline constexpr int kTyping = 121;

// Chat sub-codes.
inline constexpr int kChatPublic = 1;              // to everyone
inline constexpr int kChatWhisper = 2;             // to DestIndex only
inline constexpr int kChatResult = 3;              // result line under the sender's name
inline constexpr int kChatResultOthers = 4;        // the same, to everyone but the sender
inline constexpr int kChatNamed = 5;               // under a chosen speaker name
inline constexpr int kChatNamedResult = 6;         // result line under a chosen speaker name
inline constexpr int kChatNamedResultOthers = 7;   // the same, to everyone but the sender
inline constexpr int kChatResultPrivate = 8;       // result line for DestIndex only

// File piece sub-codes.
inline constexpr int kFileMayOpen = 1;
inline constexpr int kFileStoreOnly = 2;

// Typing sub-codes.
inline constexpr int kTypingStarts = 1;
inline constexpr int kTypingStops = 2;

// ---- Cards (4xx) -----------------------------------------------------------------------------
// (card codes)



// ---- Drawing board (5xx) ---------------------------------------------------------------------
// (drawing codes)



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
// Kinds of kHexPaint: one cell, or a list of cells.
inline constexpr int kHexPaintOne = 1;
inline constexpr int kHexPaintList = 2;



// ---- Counters (7xx) --------------------------------------------------------------------------
// (counter codes)



// ---- Shared table (8xx) ----------------------------------------------------------------------
// (table codes)



}  // namespace quillora::msg
