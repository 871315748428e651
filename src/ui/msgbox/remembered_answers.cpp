#include "ui/msgbox/remembered_answers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace dorvak {
namespace {

// The registry path Software\<company>\<program>\VxMessageBox becomes the
// settings file of <company>/<program> with a "VxMessageBox" group; without
// a company the program is the organisation and VxMessageBox the file.
std::unique_ptr<QSettings> openStore(const QString& company) {
    const QString program = programFileName();
    if (company.isEmpty()) {
        auto s = std::make_unique<QSettings>(program, QStringLiteral("VxMessageBox"));
        return s;
    }
    auto s = std::make_unique<QSettings>(company, program);
    s->beginGroup(QStringLiteral("VxMessageBox"));
    return s;
}

QString valueName(const QString& name, int number) {
    // A separator in the name would open a subgroup; the name is one value.
    QString key = name + QString::number(number);
    key.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return key;
}

} // namespace

QString programFileName() {
    const QString path = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? QCoreApplication::applicationName() : name;
}

quint32 readRememberedAnswer(const QString& company, const QString& name, int number) {
    auto store = openStore(company);
    bool ok = false;
    const quint32 value = store->value(valueName(name, number)).toUInt(&ok);
    return ok ? value : 0;
}

void storeRememberedAnswer(const QString& company, const QString& name, int number, quint32 value) {
    auto store = openStore(company);
    store->setValue(valueName(name, number), value);
    store->sync();
}

} // namespace dorvak
