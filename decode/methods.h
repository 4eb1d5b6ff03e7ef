// Decode loops of the method families, one per row kind of the method table.
#pragma once
#include "decode/slide_decoder.h"

DecodeResult decodeStaticHuffman(SlideDecoder& d);  // -lh4- to -lh7-
DecodeResult decodeLzs(SlideDecoder& d);            // LArc, bit-packed
DecodeResult decodeLz5(SlideDecoder& d);            // LArc, byte-packed, preset window
