#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QString>

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <streambuf>

// Swallows everything written to it: the conversion's console lines would
// drown libFuzzer's own output.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Sends std::cout to a NullBuffer for the lifetime of the process.
inline void silenceStdout()
{
    static NullBuffer null;
    std::cout.rdbuf(&null);
}

// Reads the fuzz input front to back; past its end every byte reads as zero.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    const uint8_t* rest() const { return data + pos; }
    size_t restSize() const { return size - pos; }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

// A fresh directory under the system's temporary directory, removed at exit.
QString fuzzScratchDirectory();

#endif
