#!/usr/bin/env python3
"""Writes printing/pdfwriter/FontMetrics.inc: the glyph widths, cap heights
and descriptor values of the PDF writer's built-in font catalogue, and the
tables that move codes between the four PDF encodings.

The metrics come from the AFM files of the Debian package fonts-urw-base35,
whose fonts are metric-compatible with the standard 35 PostScript fonts. Run
it again only to regenerate the committed table:

    python3 scripts/gen-pdf-font-metrics.py [AFM_DIR] > printing/pdfwriter/FontMetrics.inc

Widths are stored by WinAnsiEncoding code (32 to 255); Symbol and
ZapfDingbats by their built-in codes. The catalogue entries without a font of
their own take the metrics of a near relative: the four Helvetica-Condensed
entries those of Helvetica-Narrow, CPDF-Monospace those of Courier and
CPDF-SmallCap those of Times-Roman. The seven CID fonts have no width table
(their widths are a rule: half an em below code 128, an em for a byte pair);
their descriptor values are nominal values for their scripts.
"""
import os
import sys

AFM_DIR = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/fonts/type1/urw-base35"

# Catalogue index: (name, AFM file, flags)
FIXED, SERIF, SYMBOLIC, SCRIPT, NONSYMBOLIC, ITALIC, SMALLCAP = 1, 2, 4, 8, 32, 64, 131072
CATALOGUE = [
    ("Helvetica", "NimbusSans-Regular", NONSYMBOLIC),
    ("Helvetica-Bold", "NimbusSans-Bold", NONSYMBOLIC),
    ("Helvetica-Oblique", "NimbusSans-Italic", NONSYMBOLIC | ITALIC),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic", NONSYMBOLIC | ITALIC),
    ("Times-Roman", "NimbusRoman-Regular", SERIF | NONSYMBOLIC),
    ("Times-Bold", "NimbusRoman-Bold", SERIF | NONSYMBOLIC),
    ("Times-Italic", "NimbusRoman-Italic", SERIF | NONSYMBOLIC | ITALIC),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic", SERIF | NONSYMBOLIC | ITALIC),
    ("Courier", "NimbusMonoPS-Regular", FIXED | SERIF | NONSYMBOLIC),
    ("Courier-Bold", "NimbusMonoPS-Bold", FIXED | SERIF | NONSYMBOLIC),
    ("Courier-Oblique", "NimbusMonoPS-Italic", FIXED | SERIF | NONSYMBOLIC | ITALIC),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic", FIXED | SERIF | NONSYMBOLIC | ITALIC),
    ("Symbol", "StandardSymbolsPS", SYMBOLIC),
    ("ZapfDingbats", "D050000L", SYMBOLIC),
    ("AvantGarde-Book", "URWGothic-Book", NONSYMBOLIC),
    ("AvantGarde-BookOblique", "URWGothic-BookOblique", NONSYMBOLIC | ITALIC),
    ("AvantGarde-Demi", "URWGothic-Demi", NONSYMBOLIC),
    ("AvantGarde-DemiOblique", "URWGothic-DemiOblique", NONSYMBOLIC | ITALIC),
    ("Bookman-Demi", "URWBookman-Demi", SERIF | NONSYMBOLIC),
    ("Bookman-DemiItalic", "URWBookman-DemiItalic", SERIF | NONSYMBOLIC | ITALIC),
    ("Bookman-Light", "URWBookman-Light", SERIF | NONSYMBOLIC),
    ("Bookman-LightItalic", "URWBookman-LightItalic", SERIF | NONSYMBOLIC | ITALIC),
    ("Helvetica-Narrow", "NimbusSansNarrow-Regular", NONSYMBOLIC),
    ("Helvetica-Narrow-Oblique", "NimbusSansNarrow-Oblique", NONSYMBOLIC | ITALIC),
    ("Helvetica-Narrow-Bold", "NimbusSansNarrow-Bold", NONSYMBOLIC),
    ("Helvetica-Narrow-BoldOblique", "NimbusSansNarrow-BoldOblique", NONSYMBOLIC | ITALIC),
    ("NewCenturySchlbk-Roman", "C059-Roman", SERIF | NONSYMBOLIC),
    ("NewCenturySchlbk-Italic", "C059-Italic", SERIF | NONSYMBOLIC | ITALIC),
    ("NewCenturySchlbk-Bold", "C059-Bold", SERIF | NONSYMBOLIC),
    ("NewCenturySchlbk-BoldItalic", "C059-BdIta", SERIF | NONSYMBOLIC | ITALIC),
    ("Palatino-Roman", "P052-Roman", SERIF | NONSYMBOLIC),
    ("Palatino-Italic", "P052-Italic", SERIF | NONSYMBOLIC | ITALIC),
    ("Palatino-Bold", "P052-Bold", SERIF | NONSYMBOLIC),
    ("Palatino-BoldItalic", "P052-BoldItalic", SERIF | NONSYMBOLIC | ITALIC),
    ("ZapfChancery-MediumItalic", "Z003-MediumItalic", SCRIPT | NONSYMBOLIC | ITALIC),
    ("Helvetica-Condensed", "NimbusSansNarrow-Regular", NONSYMBOLIC),
    ("Helvetica-Condensed-Bold", "NimbusSansNarrow-Bold", NONSYMBOLIC),
    ("Helvetica-Condensed-Oblique", "NimbusSansNarrow-Oblique", NONSYMBOLIC | ITALIC),
    ("Helvetica-Condensed-BoldObl", "NimbusSansNarrow-BoldOblique", NONSYMBOLIC | ITALIC),
    ("CPDF-Monospace", "NimbusMonoPS-Regular", FIXED | SERIF | NONSYMBOLIC),
    ("CPDF-SmallCap", "NimbusRoman-Regular", SERIF | NONSYMBOLIC | SMALLCAP),
]

# name, ordering (CIDSystemInfo body), ascent, cap height, descent, bbox, stemV, stemH, xHeight
CID_FONTS = [
    ("HeiseiKakuGo-W5", "/Registry (Adobe) /Ordering (Japan1) /Supplement 2", 752, 737, -221, (-92, -250, 1010, 922), 114, 114, 553),
    ("HeiseiMin-W3", "/Registry (Adobe) /Ordering (Japan1) /Supplement 2", 723, 709, -241, (-123, -257, 1001, 910), 69, 69, 450),
    ("HYGoThic-Medium", "/Registry (Adobe) /Ordering (Korea1) /Supplement 1", 752, 737, -271, (-6, -145, 1003, 880), 58, 58, 553),
    ("HYSMyeongJo-Medium", "/Registry (Adobe) /Ordering (Korea1) /Supplement 1", 752, 737, -271, (-0, -148, 1001, 880), 58, 58, 553),
    ("MHei-Medium", "/Registry (Adobe) /Ordering (CNS1) /Supplement 0", 752, 737, -271, (-45, -250, 1015, 887), 58, 58, 553),
    ("MSung-Light", "/Registry (Adobe) /Ordering (CNS1) /Supplement 0", 752, 737, -271, (-160, -249, 1015, 888), 58, 58, 553),
    ("STSong-Light", "/Registry (Adobe) /Ordering (GB1) /Supplement 2", 752, 737, -271, (-25, -254, 1000, 880), 58, 58, 553),
]

ASCII_NAMES = ("space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright "
               "asterisk plus comma hyphen period slash zero one two three four five six seven eight nine "
               "colon semicolon less equal greater question at A B C D E F G H I J K L M N O P Q R S T U V W X Y Z "
               "bracketleft backslash bracketright asciicircum underscore grave a b c d e f g h i j k l m n o p q r "
               "s t u v w x y z braceleft bar braceright asciitilde").split()
WIN_HIGH = {
    0x80: "Euro", 0x82: "quotesinglbase", 0x83: "florin", 0x84: "quotedblbase", 0x85: "ellipsis", 0x86: "dagger",
    0x87: "daggerdbl", 0x88: "circumflex", 0x89: "perthousand", 0x8A: "Scaron", 0x8B: "guilsinglleft", 0x8C: "OE",
    0x8E: "Zcaron", 0x91: "quoteleft", 0x92: "quoteright", 0x93: "quotedblleft", 0x94: "quotedblright",
    0x95: "bullet", 0x96: "endash", 0x97: "emdash", 0x98: "tilde", 0x99: "trademark", 0x9A: "scaron",
    0x9B: "guilsinglright", 0x9C: "oe", 0x9E: "zcaron", 0x9F: "Ydieresis",
}
LATIN1 = ("space exclamdown cent sterling currency yen brokenbar section dieresis copyright ordfeminine "
          "guillemotleft logicalnot hyphen registered macron degree plusminus twosuperior threesuperior acute mu "
          "paragraph periodcentered cedilla onesuperior ordmasculine guillemotright onequarter onehalf threequarters "
          "questiondown Agrave Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute Ecircumflex "
          "Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde Ograve Oacute Ocircumflex Otilde Odieresis "
          "multiply Oslash Ugrave Uacute Ucircumflex Udieresis Yacute Thorn germandbls agrave aacute acircumflex "
          "atilde adieresis aring ae ccedilla egrave eacute ecircumflex edieresis igrave iacute icircumflex "
          "idieresis eth ntilde ograve oacute ocircumflex otilde odieresis divide oslash ugrave uacute ucircumflex "
          "udieresis yacute thorn ydieresis").split()

WIN = {}
for i, n in enumerate(ASCII_NAMES):
    WIN[32 + i] = n
WIN.update(WIN_HIGH)
for i, n in enumerate(LATIN1):
    WIN[0xA0 + i] = n

# Unicode of each glyph name the four encodings use.
UNI = {}
for code, name in WIN.items():
    ch = bytes([code]).decode("cp1252")
    UNI.setdefault(name, ord(ch))
UNI.update({
    "quoteright": 0x2019, "quoteleft": 0x2018, "fraction": 0x2044, "fi": 0xFB01, "fl": 0xFB02,
    "dotlessi": 0x0131, "breve": 0x02D8, "dotaccent": 0x02D9, "ring": 0x02DA, "hungarumlaut": 0x02DD,
    "ogonek": 0x02DB, "caron": 0x02C7, "Lslash": 0x0141, "lslash": 0x0142, "notequal": 0x2260,
    "infinity": 0x221E, "lessequal": 0x2264, "greaterequal": 0x2265, "partialdiff": 0x2202,
    "summation": 0x2211, "product": 0x220F, "pi": 0x03C0, "integral": 0x222B, "Omega": 0x03A9,
    "radical": 0x221A, "approxequal": 0x2248, "Delta": 0x2206, "lozenge": 0x25CA, "apple": 0xF8FF,
    "space": 0x20, "hyphen": 0x2D, "grave": 0x60, "quotesingle": 0x27,
})
NAME_OF_UNI = {}
for name, u in UNI.items():
    NAME_OF_UNI.setdefault(u, name)
NAME_OF_UNI[0xA0] = "space"
NAME_OF_UNI[0xAD] = "hyphen"
NAME_OF_UNI[0x2126] = "Omega"


def read_afm(name):
    metrics = {"chars": {}, "codes": {}}
    with open(os.path.join(AFM_DIR, name + ".afm"), encoding="latin-1") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            key = parts[0]
            if key in ("CapHeight", "XHeight"):
                metrics[key] = int(float(parts[1]))
            elif key == "ItalicAngle":
                metrics[key] = float(parts[1])
            elif key == "FontBBox":
                metrics[key] = [int(float(v)) for v in parts[1:5]]
            elif key == "Weight":
                metrics[key] = parts[1]
            elif key == "C":
                fields = {}
                for item in line.split(";"):
                    item = item.split()
                    if item:
                        fields[item[0]] = item[1:]
                code = int(fields["C"][0])
                glyph = fields["N"][0]
                wx = int(float(fields["WX"][0]))
                bbox = [int(float(v)) for v in fields.get("B", ["0", "0", "0", "0"])]
                metrics["chars"][glyph] = (wx, bbox)
                if code >= 0:
                    metrics["codes"][code] = glyph
    return metrics


def descriptor(m, symbolic):
    chars = m["chars"]
    bbox = m["FontBBox"]
    if symbolic:
        ascent, descent = bbox[3], bbox[1]
    else:
        ascent = max((chars[g][1][3] for g in "bdhkl" if g in chars), default=bbox[3])
        descent = min((chars[g][1][1] for g in "gjpqy" if g in chars), default=bbox[1])
    weight = m.get("Weight", "Regular").lower()
    stemv = 140 if ("bold" in weight or "demi" in weight) else 80
    return ascent, descent, bbox, stemv


def widths_for(m, symbolic):
    out = []
    for code in range(32, 256):
        if symbolic:
            glyph = m["codes"].get(code)
        else:
            glyph = WIN.get(code)
        out.append(m["chars"][glyph][0] if glyph and glyph in m["chars"] else 0)
    return out


def encoding_tables():
    std = read_afm("NimbusSans-Regular")["codes"]
    win_by_name = {}
    for code, name in WIN.items():
        win_by_name.setdefault(name, code)
    remaps, unis = [], []
    # 0 WinAnsi
    remaps.append(list(range(256)))
    unis.append([ord(bytes([c]).decode("cp1252")) if c >= 32 and c in WIN else 0 for c in range(256)])
    # 1 MacRoman
    mac_names = {}
    for c in range(32, 256):
        if c == 127:
            continue
        u = ord(bytes([c]).decode("mac_roman"))
        if c == 0xDB:
            u = 0xA4  # the PDF encoding keeps "currency" there
        mac_names[c] = NAME_OF_UNI.get(u)
    remaps.append([win_by_name.get(mac_names.get(c), 0) if c >= 32 else 0 for c in range(256)])
    unis.append([UNI.get(mac_names.get(c), 0) if c in mac_names and mac_names[c] else 0 for c in range(256)])
    # 2 MacExpert: its glyphs (small capitals, old-style figures, fractions)
    # have no WinAnsi codes; widths are looked up by the code itself.
    remaps.append([c if 32 <= c < 127 else 0 for c in range(256)])
    unis.append([c if 32 <= c < 127 else 0 for c in range(256)])
    # 3 Standard
    remaps.append([win_by_name.get(std.get(c), 0) if c in std else 0 for c in range(256)])
    unis.append([UNI.get(std.get(c), 0) if c in std else 0 for c in range(256)])
    return remaps, unis


def c_array(values, per_line=16, indent="    "):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
    return "\n".join(lines)


def main():
    print("// Generated by scripts/gen-pdf-font-metrics.py from the AFM files of")
    print("// fonts-urw-base35. Do not edit by hand.")
    print()
    for idx, (name, afm, flags) in enumerate(CATALOGUE):
        m = read_afm(afm)
        symbolic = idx in (12, 13)
        w = widths_for(m, symbolic)
        print(f"static const short kWidths{idx}[224] = {{  // {name} ({afm})")
        print(c_array(w))
        print("};")
    print()
    print("static const BuiltinFont kBuiltinFontTable[48] = {")
    for idx, (name, afm, flags) in enumerate(CATALOGUE):
        m = read_afm(afm)
        symbolic = idx in (12, 13)
        ascent, descent, bbox, stemv = descriptor(m, symbolic)
        kind = 0 if idx < 14 else 1
        print(f'    {{"{name}", {kind}, {m["CapHeight"]}, {ascent}, {descent}, {flags}L, '
              f'{{{bbox[0]}, {bbox[1]}, {bbox[2]}, {bbox[3]}}}, {m["ItalicAngle"]}, {stemv}, 0, '
              f'{m["XHeight"]}, kWidths{idx}, 0, 0, 0, 0, "", ""}},')
    for name, ordering, ascent, cap, descent, bbox, stemv, stemh, xh in CID_FONTS:
        print(f'    {{"{name}", 3, {cap}, {ascent}, {descent}, 4L, {{{bbox[0]}, {bbox[1]}, {bbox[2]}, {bbox[3]}}}, '
              f'0.0, {stemv}, {stemh}, {xh}, nullptr, 500, 250, 1000, 500, '
              f'"/Panose <000000000000000000000000>", "{ordering}"}},')
    print("};")
    print()
    remaps, unis = encoding_tables()
    print("static const std::uint8_t kRemapTable[4][256] = {")
    for r in remaps:
        print("  {")
        print(c_array(r))
        print("  },")
    print("};")
    print()
    print("static const std::uint16_t kUnicodeTable[4][256] = {")
    for u in unis:
        print("  {")
        print(c_array(u))
        print("  },")
    print("};")


if __name__ == "__main__":
    main()
