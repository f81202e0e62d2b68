| The font, generated at build time from the status lines' glyphs.

        .text
        .include "font.inc"
