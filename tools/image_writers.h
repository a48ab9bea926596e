// Viewable forms of exported frames: conversion of display pixels to 8-bit RGB and to Y'CbCr,
// PNG files, a YUV4MPEG2 stream, and numbered file names from a printf-style pattern.
#pragma once

#include <cstdio>
#include <string>

#include "format/container_writer.h"
#include "tools/output_file.h"
#include "video/frame_decoder.h"

namespace qztool {

// One exported picture: packed rows of pixels in format (palette indices through palette for
// pal8).
struct ExportedFrame {
    FrameFormat format = FrameFormat::xrgb8888;
    int width = 0;
    int height = 0;
    const BYTE* pixels = nullptr;  // framePictureBytes() of them
    const BYTE* palette = nullptr; // 256 R, G, B triplets
    bool black = false;            // an unshowable frame: black whatever the palette says
};

// The bytes of the frame's picture.
std::size_t framePictureBytes(const ExportedFrame& frame);
// A black picture in the format: zero bytes, or Y 0 with neutral chroma in yuy2.
Bytes blackPicture(FrameFormat format, int width, int height);
// The picture as R, G, B bytes, row after row. YUY2 is full-range Y'CbCr with the decoders'
// colour equations.
Bytes frameToRgb(const ExportedFrame& frame);

// Limited-range BT.601 Y'CbCr of 8-bit R, G, B, rounded from doubles: the plain form.
void limitedYcc(const std::uint8_t* rgb, std::uint8_t& y, std::uint8_t& cb, std::uint8_t& cr);
// limitedYcc of n pixels (R, G, B bytes) into three planes, by integers: the same bytes. The
// plain form, the AVX2 form (eight pixels at a time), and the one the processor takes.
void limitedYccRowPlain(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr);
void limitedYccRowAvx2(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr);
void limitedYccRow(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr);
// The same from n xrgb8888 pixels (bytes B, G, R, x), in the same three forms.
void limitedYccXrgbRowPlain(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr);
void limitedYccXrgbRowAvx2(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr);
void limitedYccXrgbRow(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr);

// Writes an 8-bit RGB PNG, whole or not at all; false with a message.
bool writePng(const std::string& path, const Bytes& rgb, int width, int height,
              std::string& message);

// Writes an 8-bit palette PNG of width x height palette indices with the 256 R, G, B triplets
// of palette as its PLTE, whole or not at all; false with a message.
bool writePalettePng(const std::string& path, const BYTE* indices, const BYTE* palette, int width,
                     int height, std::string& message);
// Writes the frame as a PNG: a palette PNG for a shown pal8 frame, else 8-bit RGB.
bool writeFramePng(const std::string& path, const ExportedFrame& frame, std::string& message);

// Checks a file name pattern: exactly one integer conversion (%d, %i or %u with an optional 0
// flag and width up to 20), "%%" for a percent sign, nothing else after a '%'. The pattern is
// never handed to printf itself.
bool checkFramePattern(const std::string& pattern, std::string& message);
// The file name for a frame number from a pattern that passed checkFramePattern.
std::string framePatternPath(const std::string& pattern, long number);

// Frames a second as a fraction num/den.
struct FrameRate {
    int num = 15;
    int den = 1;
};

// A YUV4MPEG2 stream of one picture size, limited-range BT.601 (tagged XCOLORRANGE=LIMITED and
// XCOLORMATRIX=BT601): 4:2:2 for yuy2 frames, 4:4:4 from RGB for the others; with chroma420,
// 4:2:0 (C420jpeg from RGB: each chroma sample the mean of a 2x2 block; C420mpeg2 from yuy2: the
// mean of two rows, keeping yuy2's horizontal siting).
class Y4mWriter {
  public:
    // The stream is written under a temporary name and appears whole at close().
    bool open(const std::string& path, FrameFormat format, int width, int height, FrameRate fps,
              bool chroma420, std::string& message);
    // The frame as the stream holds it (its FRAME line and planes) into out. Needs only open();
    // may run on several threads at once.
    void convert(const ExportedFrame& frame, Bytes& out) const;
    // Appends a frame convert() made.
    bool write(const Bytes& converted, std::string& message);
    bool close(std::string& message);

  private:
    OutputFile file_;
    bool chroma420_ = false;
};

} // namespace qztool
