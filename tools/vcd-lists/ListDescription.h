// The text description of a play-sequence menu that vcd-lists reads, one
// list a line (blank lines and lines starting with '#' are skipped):
//
//   max M                          the highest list identifier (first line)
//   play ID [items=I,I,...] [prev=ID] [next=ID] [return=ID] [time=T]
//           [wait=W] [autowait=A]
//   sel ID [count=N] [base=B] [item=I] [prev=ID] [next=ID] [return=ID]
//          [default=ID] [timeout=ID] [wait=W] [loop=L] [targets=ID,ID,...]
//   end ID
//
// Identifiers and numbers are decimal; targets are given for the selections
// base, base + 1, ... in order.
#pragma once

#include <string>

#include "disclib/vcd/DiscpakLibrary.h"

namespace vexa::vcdlists {

// Applies the description to a new menu made through the "DISCPAK" table;
// null with the reason (and line number) in *error when a line is wrong.
// The caller deletes the menu through the table.
I_VCDClass20Menu* BuildMenu(const std::string& text, const DISCPAK_LibObject& discpak, std::string* error);

}  // namespace vexa::vcdlists
