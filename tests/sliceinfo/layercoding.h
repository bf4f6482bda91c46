#ifndef LAYERCODING_H
#define LAYERCODING_H

#include <QByteArray>
#include <QString>

#include <functional>

// The two ways a layer's runs are stored: a Tesk token stream, or qvx runs
// of pixel classes (a grey's top four bits).
enum class LayerCoding { Tesk, Qvx };

// A layer of grey bytes, one a pixel, as the coding writes it: Tesk tokens in
// their shortest form, or qvx runs.
QByteArray encodeLayer(LayerCoding coding, const QByteArray& greys);

// Hands each lit run that `stream` describes, as far as it goes, to
// addLit(start, length), and marks its pixels 1 in `lit` (one byte a pixel,
// the others 0) when given. False, with `error` set when given, when qvx runs
// do not cover `pixels` exactly.
bool readLitRuns(LayerCoding coding, const QByteArray& stream, int pixels,
                 const std::function<void(qint64 start, qint64 length)>& addLit, QByteArray* lit = nullptr,
                 QString* error = nullptr);

#endif
