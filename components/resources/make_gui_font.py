#!/usr/bin/env python3
"""Makes the GUI font file: a TrueType font with its family renamed.

Usage: make_gui_font.py SOURCE.ttf OUTPUT.ttf FAMILY

The build runs it on DejaVu Sans to make "ZARIRA.ttf". Every name record
that names the family, the full name, the PostScript name or the unique
id takes the new name, so no program sees the source's family in it.
"""

import sys

from fontTools.ttLib import TTFont

FAMILY_NAME_IDS = (1, 3, 4, 6, 16, 18, 21)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, output, family = sys.argv[1:]
    font = TTFont(source)
    for record in font["name"].names:
        if record.nameID in FAMILY_NAME_IDS:
            record.string = family
    font.save(output)


if __name__ == "__main__":
    main()
