// The gallery library's string table, registered when the library loads.
#include "uicommon/common/Strings.h"

namespace vexa::gallery {

using namespace vexa::ui;

namespace {

const vexa::ui::StringEntry kStrings[] = {
    {5656, "Image is downloading"},
    {6003, "Rotate this image counterclockwise 90 degrees"},
    {6004, "Rotate this image clockwise 90 degrees"},
    {6209, "Click here to select this image"},
    {6233, "Rotate this image clockwise 90 degrees"},
    {6234, "Rotate this image counterclockwise 90 degrees"},
    {6235, "Remove this image from the Gallery"},
    {6274, "Adjust this image"},
    {7701, "There is not enough memory to complete this operation. Please close other applications and "
           "start again."},
    {7702, "This picture cannot be shown: its file is not there any more."},
    {7703, "This picture cannot be shown: the file is not a kind of picture this program reads."},
    {7704, "This picture cannot be shown: the file is damaged or incomplete."},
    {7705, "This picture cannot be shown: the file cannot be read."},
    {7706, "This picture cannot be shown: it is too large, or of a kind of picture this program does not support."},
    {7707, "This picture cannot be shown: its small copy could not be saved in the thumbnail folder (the disk may be "
           "full)."},
    {1258, "Rotate Counterclockwise"},
    {1259, "Rotate Clockwise"},
    {1263, "&Copy"},
    {1264, "&Adjust Image..."},
    {1267, "Cu&t"},
    {1273, "&Delete"},
    {1279, "Copy I&mage"},
    {1280, "Delete Ima&ge"},
    {1551, "Cut &Image"},
};

struct Registration {
  Registration() { vexa::ui::RegisterStrings(kStrings, static_cast<int>(std::size(kStrings))); }
} g_registration;

}  // namespace

}  // namespace vexa::gallery
