#!/usr/bin/env python3
"""Writes the folders bubble/ and emoji/ that an HTML export copies beside its
pages: two speech bubbles (sent and received) and a few emoji faces, drawn as
small SVG files named after their code points. Run from this folder; the
files are checked in beside it."""
import os

BUBBLE = """<svg xmlns="http://www.w3.org/2000/svg" width="64" height="40" viewBox="0 0 64 40">
<path d="M{x0} 4 h40 a8 8 0 0 1 8 8 v12 a8 8 0 0 1 -8 8 h-40 a8 8 0 0 1 -8 -8 v-12 a8 8 0 0 1 8 -8 z" fill="{fill}"/>
<path d="{tail}" fill="{fill}"/>
</svg>
"""

FACE = """<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
<circle cx="16" cy="16" r="14" fill="#FFCC33" stroke="#CC9900" stroke-width="1.5"/>
{features}
</svg>
"""

EYES = '<circle cx="11" cy="12" r="2" fill="#333"/><circle cx="21" cy="12" r="2" fill="#333"/>'
WINK = '<circle cx="11" cy="12" r="2" fill="#333"/><path d="M18 12 h6" stroke="#333" stroke-width="2"/>'
SMILE = '<path d="M9 19 q7 7 14 0" fill="none" stroke="#333" stroke-width="2"/>'
FROWN = '<path d="M9 23 q7 -6 14 0" fill="none" stroke="#333" stroke-width="2"/>'

HEART = """<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
<path d="M16 28 L4 16 a6.5 6.5 0 0 1 12 -8 a6.5 6.5 0 0 1 12 8 z" fill="#E0245E"/>
</svg>
"""


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write(text)


write("bubble/bubble-sent.svg", BUBBLE.format(x0=12, fill="#7FD67F", tail="M52 24 l10 12 l-16 -6 z"))
write("bubble/bubble-received.svg", BUBBLE.format(x0=20, fill="#D8D8E0", tail="M12 24 l-10 12 l16 -6 z"))
write("emoji/1F600.svg", FACE.format(features=EYES + SMILE))
write("emoji/1F609.svg", FACE.format(features=WINK + SMILE))
write("emoji/1F61E.svg", FACE.format(features=EYES + FROWN))
write("emoji/2764.svg", HEART)
