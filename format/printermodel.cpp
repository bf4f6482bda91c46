#include "printermodel.h"

#include <iterator>

namespace {

const PrinterModel kPrinterModels[] = {
    {
        "Vireld10", // name
        "Kv10",     // shortName
        10,         // modelNumber
        "qvx",      // formatTag
        960,        // slicerWidth
        1708,       // slicerHeight
        480,        // layerWidth
        854,        // layerHeight
        true,       // halvesLayers
        55440,      // plateShortUm
        98637,      // plateLongUm
        140000,     // buildHeightUm
        115.5f,     // pixelPitchUm
        120,        // previewWidth
        150,        // previewHeight
    },
    {
        "Vireld30", // name
        "Kv20",     // shortName
        30,         // modelNumber
        "qvx30",    // formatTag
        1440,       // slicerWidth
        2560,       // slicerHeight
        1440,       // layerWidth
        2560,       // layerHeight
        false,      // halvesLayers
        68040,      // plateShortUm
        120960,     // plateLongUm
        170000,     // buildHeightUm
        47.25f,     // pixelPitchUm
        120,        // previewWidth
        150,        // previewHeight
    },
};

const OtherPrinterModel kOtherPrinterModels[] = {
    // name, modelNumber, formatTag, previewWidth, previewHeight
    {"Vireld120", 120, "qvx120", 120, 150},
    {"Vireld20", 0, nullptr, 200, 150},
    {"Vireld200", 200, "qvx200", 0, 0},
    {"Vireld200Pro", 240, "qvx200p", 0, 0},
    {"Vireld300", 300, "qvx300", 220, 200},
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

QStringList PrinterModel::numbers()
{
    QStringList numbers;
    for (const PrinterModel* m = begin(); m != end(); ++m)
        numbers << QString::number(m->modelNumber);
    return numbers;
}

QString PrinterModel::names() const
{
    return QStringLiteral("%1 or %2").arg(QLatin1String(name), QLatin1String(shortName));
}

const OtherPrinterModel* OtherPrinterModel::begin() { return std::begin(kOtherPrinterModels); }

const OtherPrinterModel* OtherPrinterModel::end() { return std::end(kOtherPrinterModels); }

const OtherPrinterModel* OtherPrinterModel::byName(const QString& name)
{
    for (const OtherPrinterModel* m = begin(); m != end(); ++m) {
        if (name == QLatin1String(m->name))
            return m;
    }
    return nullptr;
}
