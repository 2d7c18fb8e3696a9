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
#include "platform/base/Overlap.h"
#include "tools/vcd-lists/ListDescription.h"

namespace {

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size, std::size_t padTo) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (std::size_t i = size; i < padTo; ++i) out.put(static_cast<char>(0xFF));
  return static_cast<bool>(out.flush());
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
  } else if (!WriteFile(argv[2], lot, static_cast<std::size_t>(lotSize), 65536)) {
    std::fprintf(stderr, "vcd-lists: cannot write %s\n", argv[2]);
    rc = 1;
  }
  const std::uint8_t* psd = rc == 0 ? menu->BuildPSD(&psdSize) : nullptr;
  if (rc == 0 && !psd) {
    std::fprintf(stderr, "vcd-lists: %s\n", menu->GetError());
    rc = 1;
  } else if (rc == 0 && !WriteFile(argv[3], psd, static_cast<std::size_t>(psdSize), 0)) {
    std::fprintf(stderr, "vcd-lists: cannot write %s\n", argv[3]);
    rc = 1;
  }
  if (rc == 0) std::printf("LOT.VCD %d bytes (65536 written), PSD.VCD %d bytes\n", lotSize, psdSize);
  discpak->DeleteVCDClass20Menu(menu);
  DLL_LL_ReleaseObject(discpak);
  return rc;
}
