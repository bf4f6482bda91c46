#include "common/processguard.h"
#include "tesktoqvx.h"

#include <QFile>
#include <QString>

#ifdef Q_OS_WIN
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

// The 8-bit argv of a Windows program carries only the characters of the ANSI
// code page, so a file named in another script could not be opened; the wide
// command line carries every name.
static QString commandLineArgument(int index, const char* narrow)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const QString argument = arguments && index < count ? QString::fromWCharArray(arguments[index])
                                                        : QFile::decodeName(narrow);
    LocalFree(arguments);
    return argument;
}
#endif


int main(int argc, char* argv[])
{
    openClosedStandardStreams();
    dropQtMessages();
    if (argc < 3) {
        printConsoleLine(QString::asprintf("error:Invalid parameter,format:%s input output", argv[0]));
        return -1;
    }
#ifdef Q_OS_WIN
    const LocalName output{commandLineArgument(2, argv[2]), true};
    const LocalName input{commandLineArgument(1, argv[1]), true};
#else
    const LocalName output = decodeLocalName(argv[2]);
    const LocalName input = decodeLocalName(argv[1]);
#endif
    int result;
    if (!input.faithful) {
        result = InputMissing; // no file has the name as decoded
    } else if (!output.faithful) {
        result = OutputUnopenable;
    } else {
        TeskToQvx driver(input.name, output.name);
        result = driver.process();
    }
    printConsoleLine(QString::asprintf("exit code: %d\n", result));
    return result >= 0 ? 0 : -1;
}
