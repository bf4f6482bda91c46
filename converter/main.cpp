#include "tesktoqvx.h"

#include <QFile>
#include <QString>


int main(int argc, char* argv[])
{
    if (argc < 3) {
        printConsoleLine(QString::asprintf("error:Invalid parameter,format:%s input output", argv[0]));
        return -1;
    }
    const QString outputPath = QFile::decodeName(argv[2]);
    const QString inputPath = QFile::decodeName(argv[1]);
    int result;
    {
        TeskToQvx driver(inputPath, outputPath);
        result = driver.process();
        printConsoleLine(QString::asprintf("exit code: %d\n", result));
    }
    return result >= 0 ? 0 : -1;
}
