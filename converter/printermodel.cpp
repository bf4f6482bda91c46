#include "printermodel.h"

#include <iterator>

namespace {

const PrinterModel kPrinterModels[] = {
    {"Vireld10", "Kv10", 10, 960, 1708, 480, 854, 55440, 98637, 140000, 115.5f, 120, 150},
    {"Vireld30", "Kv20", 30, 1440, 2560, 1440, 2560, 68040, 120960, 170000, 47.25f, 120, 150},
};

} // namespace

const PrinterModel* PrinterModel::begin() { return std::begin(kPrinterModels); }

const PrinterModel* PrinterModel::end() { return std::end(kPrinterModels); }

const PrinterModel* PrinterModel::byName(const QString& name)
{
    for (const PrinterModel* m = begin(); m != end(); ++m) {
        if (name == QLatin1String(m->name) || name == QLatin1String(m->shortName))
            return m;
    }
    return nullptr;
}

const PrinterModel* PrinterModel::byNumber(int modelNumber)
{
    for (const PrinterModel* m = begin(); m != end(); ++m) {
        if (m->modelNumber == modelNumber)
            return m;
    }
    return nullptr;
}

QString PrinterModel::names() const
{
    return QStringLiteral("%1 or %2").arg(QLatin1String(name), QLatin1String(shortName));
}
