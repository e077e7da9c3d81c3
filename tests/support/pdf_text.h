// Pieces of PDF text that the tests and benchmarks build documents from.
#pragma once

#include <zlib.h>

#include <string>

// One stream object with its dictionary and raw data.
inline std::string StreamObject(int number, const std::string& dictionary, const std::string& data) {
    return std::to_string(number) + " 0 obj\n" + dictionary + "\nstream\n" + data + "\nendstream\nendobj\n";
}

// The text packed by zlib at its best compression, as a FlateDecode stream holds it.
inline std::string Compressed(const std::string& plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
              static_cast<uLong>(plain.size()), 9);
    packed.resize(size);
    return packed;
}
