#!/usr/bin/env python3
# Packs PNG images into one .ico (PNG entries, read by Windows Vista and
# later), for the icon Explorer shows for quorvix.exe.
#   make-ico.py OUT.ico IMAGE.png...
import struct
import sys

out, pngs = sys.argv[1], sys.argv[2:]
images = [open(p, "rb").read() for p in pngs]
header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b""
for image in images:
    width, height = struct.unpack(">II", image[16:24])  # from the IHDR chunk
    entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
with open(out, "wb") as f:
    f.write(header + entries + b"".join(images))
