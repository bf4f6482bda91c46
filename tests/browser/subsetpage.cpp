// Writes sliceinfo's HTML page of a print as if its layers took more than the
// page holds: with a bound of BYTES on the layer data, the page shows only
// the layers a warning names and evenly spaced ones. The browser test opens it.
//
//   subsetpage INPUT PAGE.html BYTES

#include "reading/sliceexaminer.h"
#include "report/htmlpage.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: subsetpage INPUT PAGE.html BYTES\n");
        return 2;
    }
    QString error;
    const std::unique_ptr<SliceExaminer> examiner =
        SliceExaminer::open(QString::fromLocal8Bit(argv[1]), SliceExaminer::Detect, &error);
    if (!examiner) {
        std::fprintf(stderr, "subsetpage: %s\n", qPrintable(error));
        return 1;
    }
    HtmlPage page(*examiner);
    page.maxFileBytes = std::atoll(argv[3]);
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(page.build()) < 0 || !out.flush()) {
        std::fprintf(stderr, "subsetpage: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
