#include "exportqvx.h"

#include "tesktoqvx.h"

ExportQvx::ExportQvx(TeskToQvx* driver)
    : driver(driver)
{
    initParameters();
}

void ExportQvx::initParameters() {}
bool ExportQvx::validate() { return false; }
bool ExportQvx::validateMachineName() const { return false; }
void ExportQvx::evaluatePrintingParameters() {}
bool ExportQvx::openFile(const QString&) { return false; }
bool ExportQvx::writeFrontData(QImage&) { return false; }
bool ExportQvx::writeLayerData(QImage&) { return false; }
bool ExportQvx::closeFile() { return false; }
bool ExportQvx::compressImage(QImage&) { return false; }
int ExportQvx::modelNumber() const { return modelNumbers.value(machineName, 0); }
