// The in-process server kvprint: its class table and exports.
#include "printing/kvprint/Kvprint.h"

namespace {

const vexa::com::ClassEntry kClasses[] = {
    {&CLSID_Image, &vexa::kvprint::CreateImage},
    {&CLSID_ImageCollection, &vexa::kvprint::CreateImageCollection},
    {&CLSID_PrintAlbum, &vexa::kvprint::CreatePrintAlbum},
    {&CLSID_PrintContactSheet, &vexa::kvprint::CreatePrintContactSheet},
    {&CLSID_PrintJCInsert, &vexa::kvprint::CreatePrintJCInsert},
    {&CLSID_PrintAlbumConfiguration, &vexa::kvprint::CreatePrintAlbumConfiguration},
    {&CLSID_PrintContactSheetConfiguration, &vexa::kvprint::CreatePrintContactSheetConfiguration},
    {&CLSID_PrintJewelCaseConfiguration, &vexa::kvprint::CreatePrintJewelCaseConfiguration},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "kvprint.reg")
