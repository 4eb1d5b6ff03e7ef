// Decode loops of the method families, one per row kind of the method table.
#pragma once
#include "decode/slide_decoder.h"

DecodeResult decodeStaticHuffman(SlideDecoder& d);  // -lh4- to -lh7-
DecodeResult decodeLh1(SlideDecoder& d);            // adaptive Huffman, preset positions
DecodeResult decodeLh2(SlideDecoder& d);            // adaptive Huffman, adaptive positions
DecodeResult decodeLh3(SlideDecoder& d);            // static codes sent as 4-bit lengths
DecodeResult decodeLzs(SlideDecoder& d);            // LArc, bit-packed
DecodeResult decodeLz5(SlideDecoder& d);            // LArc, byte-packed, preset window
