// vcd-lists: builds LOT.VCD and PSD.VCD of a Video CD 2.0 disc from a text
// description of its play, selection and end lists (see ListDescription.h).
//
//   vcd-lists DESCRIPTION LOT.VCD PSD.VCD
//
// LOT.VCD is padded to its 65536 bytes with 0xFF as the disc holds it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "disclib/vcd/DiscpakLibrary.h"
#include "platform/base/File.h"
#include "platform/base/Overlap.h"
#include "platform/base/Path.h"
#include "tools/vcd-lists/ListDescription.h"

namespace {

// Both files go through the system's output file: a symbolic link or
// another user's file at either path is refused, and each appears whole.
bool WriteList(const std::string& path, const std::uint8_t* data, std::size_t size, std::size_t padTo) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() < padTo) bytes.resize(padTo, static_cast<char>(0xFF));
  std::string why;
  if (vexa::base::WriteFileAtomic(path, bytes, &why)) return true;
  std::fprintf(stderr, "vcd-lists: %s\n", why.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vcd-lists DESCRIPTION LOT.VCD PSD.VCD\n");
    return 2;
  }
  for (const char* output : {argv[2], argv[3]}) {
    if (vexa::base::OutputOverlapsInput(output, argv[1])) {
      std::fprintf(stderr, "vcd-lists: the output %s is the description %s; give another output\n", output, argv[1]);
      return 2;
    }
    if (const std::string why = vexa::base::OutputRefusal(output); !why.empty()) {
      std::fprintf(stderr, "vcd-lists: %s\n", why.c_str());
      return 2;
    }
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "vcd-lists: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  auto* discpak = static_cast<DISCPAK_LibObject*>(DLL_LL_GetLibObject("DISCPAK"));
  if (!discpak || discpak->version != kDiscpakVersion) {
    std::fprintf(stderr, "vcd-lists: no DISCPAK library object\n");
    return 1;
  }
  std::string error;
  I_VCDClass20Menu* menu = vexa::vcdlists::BuildMenu(text.str(), *discpak, &error);
  if (!menu) {
    std::fprintf(stderr, "vcd-lists: %s: %s\n", argv[1], error.c_str());
    DLL_LL_ReleaseObject(discpak);
    return 1;
  }
  int rc = 0;
  std::int32_t lotSize = 0, psdSize = 0;
  const std::uint8_t* lot = menu->BuildLOT(&lotSize);
  if (!lot) {
    std::fprintf(stderr, "vcd-lists: %s\n", menu->GetError());
    rc = 1;
  } else if (!WriteList(argv[2], lot, static_cast<std::size_t>(lotSize), 65536)) {
    rc = 1;
  }
  const std::uint8_t* psd = rc == 0 ? menu->BuildPSD(&psdSize) : nullptr;
  if (rc == 0 && !psd) {
    std::fprintf(stderr, "vcd-lists: %s\n", menu->GetError());
    rc = 1;
  } else if (rc == 0 && !WriteList(argv[3], psd, static_cast<std::size_t>(psdSize), 0)) {
    rc = 1;
  }
  if (rc == 0) std::printf("LOT.VCD %d bytes (65536 written), PSD.VCD %d bytes\n", lotSize, psdSize);
  discpak->DeleteVCDClass20Menu(menu);
  DLL_LL_ReleaseObject(discpak);
  return rc;
}
