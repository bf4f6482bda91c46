#ifndef CONVERSION_H
#define CONVERSION_H

#include <QByteArray>
#include <QString>

#include <iostream>
#include <sstream>
#include <string>

// Captures what the code under test prints on standard output.
class CoutCapture {
public:
    CoutCapture() : old(std::cout.rdbuf(captured.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    std::string text() const { return captured.str(); }

private:
    std::ostringstream captured;
    std::streambuf* old;
};

// The outcome of one in-process conversion.
struct Conversion {
    int result = 0;
    std::string printed;  // standard output of process()
    bool outputExists = false;
    QByteArray output;    // the written qvx file
};

// Converts the Tesk file at inputPath into a fresh temporary output file.
Conversion convertFile(const QString& inputPath);
// Writes `tesk` to a temporary file and converts it.
Conversion convertBytes(const QByteArray& tesk);

// The lines of a successful conversion with the given intermediate values.
std::string progressLines(std::initializer_list<int> intermediate);

#endif
