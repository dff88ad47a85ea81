#!/usr/bin/env bash
# Draws the program's banner (bitmap 103, 247x50) and icon (icon groups 101 and 102,
# 32x32), both 24 bits per pixel on the dialog's yellow, with ImageMagick. The outputs
# are committed; run this only to change the artwork.
set -euo pipefail
cd "$(dirname "$0")"
yellow='rgb(237,222,70)'
ink='rgb(40,40,46)'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 247x50 "xc:$yellow" \
    -fill "$ink" -draw 'roundrectangle 5,5 44,44 8,8' \
    -stroke "$yellow" -strokewidth 5 -fill none -draw 'polyline 14,15 35,15 14,34 35,34' \
    -stroke none -fill "$ink" -font Helvetica-Bold -pointsize 35 -annotate +54+33 'zandacore' \
    -font Helvetica -pointsize 9 -annotate +56+45 'F I R M W A R E   P R O G R A M M E R' \
    -type TrueColor -alpha off BMP3:banner.bmp

convert -size 32x32 "xc:$yellow" \
    -fill "$ink" -draw 'roundrectangle 1,1 30,30 6,6' \
    -stroke "$yellow" -strokewidth 4 -fill none -draw 'polyline 8,9 23,9 8,22 23,22' \
    -type TrueColor -alpha off "BMP3:$work/icon.bmp"

# An icon file holds one 24-bit DIB of doubled height (colour rows, then an all-zero
# AND mask, so every pixel is opaque) behind a one-entry directory.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
pixels=$((32 * 32 * 3))
mask=$((32 * 4))
{
    le16 0; le16 1; le16 1                                  # directory: icon, one image
    printf '\x20\x20\x00\x00'; le16 1; le16 24              # 32x32, planes, bit count
    le32 $((40 + pixels + mask)); le32 22                   # image size and offset
    le32 40; le32 32; le32 64; le16 1; le16 24              # BITMAPINFOHEADER
    le32 0; le32 $((pixels + mask)); le32 0; le32 0; le32 0; le32 0
    tail -c "$pixels" "$work/icon.bmp"
    head -c "$mask" /dev/zero
} >app.ico
