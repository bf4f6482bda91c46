#ifndef MACHINECHECK_H
#define MACHINECHECK_H

#include "teskformat.h"

#include <QString>
#include <QStringList>

struct PrinterModel;

// Whether a Tesk file was sliced for a printer that files are converted for:
// it must name a supported model and carry exactly its resolution, plate size
// and build height. The model is found in the machine name's text: a text
// that contains a model's name stands for that model, any other stands for
// itself.
class MachineCheck {
public:
    // For the model that the file's machine-name block names.
    MachineCheck(const TeskFileHead_t& header, const QByteArray& machineNameBytes);
    // For the model `machineName`, a model's name or short code.
    MachineCheck(const TeskFileHead_t& header, const QString& machineName);

    // The model name that a machine-name block stands for.
    static QString modelNameIn(const QByteArray& machineNameBytes);

    // Why the file is refused, one line per failing check, with the expected
    // and the found value. Empty when it is accepted.
    QStringList rejectionReasons() const;
    bool accepted() const { return rejectionReasons().isEmpty(); }

    // The model name the file stands for.
    const QString& machineName() const { return name; }
    // Its row of the printer table, or null for a model that is not converted.
    const PrinterModel* model() const;
    // The qvx model number of the name, also of the family's models that are
    // not converted; 0 for a name that no model has.
    int modelNumber() const;

private:
    const TeskFileHead_t& header;
    QString name;
};

#endif
