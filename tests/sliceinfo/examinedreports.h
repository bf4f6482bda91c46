#ifndef EXAMINEDREPORTS_H
#define EXAMINEDREPORTS_H

#include "report/slicereport.h"

#include <QByteArray>

// What sliceinfo reports of a Tesk file's bytes, and of their conversion to
// qvx; a step that fails fails the test.
SliceReport teskReport(const QByteArray& tesk);
SliceReport qvxReport(const QByteArray& tesk);

#endif
