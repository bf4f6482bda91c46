#include "machinecheck.h"

#include "printermodel.h"

#include <cmath>
#include <optional>

namespace {

// Plate size in mm to whole micrometres. The product must be rounded to single
// precision before truncation: 55.44f * 1000 is 55440 in float but 55439.9986
// in double. Values that do not fit an int32 (NaN, infinities) give nothing.
std::optional<qint32> toMicrometres(float millimetres)
{
    const float product = millimetres * 1000.0f;
    if (!(std::fabs(product) < 2147483648.0f))
        return std::nullopt;
    return static_cast<qint32>(product);
}

} // namespace

MachineCheck::MachineCheck(const TeskFileHead_t& header, const QByteArray& machineNameBytes)
    : MachineCheck(header, modelNameIn(machineNameBytes))
{
}

MachineCheck::MachineCheck(const TeskFileHead_t& header, const QString& machineName)
    : header(header)
    , name(machineName)
{
}

QString MachineCheck::modelNameIn(const QByteArray& machineNameBytes)
{
    const QString text = machineNameText(machineNameBytes);
    for (const PrinterModel* m = PrinterModel::begin(); m != PrinterModel::end(); ++m) {
        if (text.contains(QLatin1String(m->name)))
            return QLatin1String(m->name);
    }
    return text;
}

const PrinterModel* MachineCheck::model() const { return PrinterModel::byName(name); }

int MachineCheck::modelNumber() const
{
    if (const PrinterModel* m = model())
        return m->modelNumber;
    const OtherPrinterModel* other = OtherPrinterModel::byName(name);
    return other ? other->modelNumber : 0;
}

QStringList MachineCheck::rejectionReasons() const
{
    const PrinterModel* expected = model();
    if (!expected) {
        QStringList names;
        for (const PrinterModel* m = PrinterModel::begin(); m != PrinterModel::end(); ++m)
            names << QLatin1String(m->name) << QLatin1String(m->shortName);
        return {QStringLiteral("machine name \"%1\" is none of %2").arg(name, names.join(QLatin1String(", ")))};
    }
    QStringList reasons;
    auto compare = [&](const char* what, std::optional<qint32> found, qint32 wanted) {
        if (found != wanted)
            reasons << QStringLiteral("%1 for %2: expected %3, found %4")
                           .arg(QLatin1String(what), name)
                           .arg(wanted)
                           .arg(found ? QString::number(*found) : QStringLiteral("no number"));
    };
    compare("resolution X", header.resolutionX, expected->slicerWidth);
    compare("resolution Y", header.resolutionY, expected->slicerHeight);
    compare("plate size X in thousandths of a mm", toMicrometres(header.bedSizeX), expected->plateShortUm);
    compare("plate size Y in thousandths of a mm", toMicrometres(header.bedSizeY), expected->plateLongUm);
    compare("build height in thousandths of a mm", toMicrometres(header.bedSizeZ), expected->buildHeightUm);
    return reasons;
}
