// The classes of the kvprint server (not a public header: creators use
// idl/kvprint.h and class creation).
#pragma once

#include "idl/kvprint.h"
#include "printing/kvprint/KvprintUtil.h"

namespace vexa::kvprint {

HRESULT CreateImage(REFIID iid, void** ppv);
HRESULT CreateImageCollection(REFIID iid, void** ppv);
HRESULT CreatePrintAlbumConfiguration(REFIID iid, void** ppv);
HRESULT CreatePrintContactSheetConfiguration(REFIID iid, void** ppv);
HRESULT CreatePrintJewelCaseConfiguration(REFIID iid, void** ppv);
HRESULT CreatePrintAlbum(REFIID iid, void** ppv);
HRESULT CreatePrintContactSheet(REFIID iid, void** ppv);
HRESULT CreatePrintJCInsert(REFIID iid, void** ppv);

// Number of Image objects alive in the process.
long LiveImageCount();

// The nine dash strings of the jewel-case cut lines, by CutLineDashPattern.
inline constexpr const char* kCutLineDashes[9] = {"[2  2] 0",   "[4  4] 0",         "[8  8] 0",
                                                  "[8  8] 4",   "[8  8] 8",         "[12  4] 0",
                                                  "[16  3  4  3] 0", "[13  3  2  3  2  3] 0", "[ ] 0"};

}  // namespace vexa::kvprint
