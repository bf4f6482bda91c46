#ifndef RUNSINK_H
#define RUNSINK_H

#include <QtGlobal>

#include <functional>

// Every reader of a layer hands its runs, in raster order, to a sink called as
// sink(level, length): the level of the run's pixels (a Tesk grey 0 to 254, a
// qvx class 0 to 15, or a picture's grey) and its length, at least 1. Where a
// reader is a template, any callable of that shape serves and is inlined;
// elsewhere it is a RunSink.
using RunSink = std::function<void(int level, qint64 length)>;

#endif
