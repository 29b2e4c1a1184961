#pragma once

#include <QTemporaryDir>

namespace testsupport {

// Points XDG_CONFIG_HOME at a fresh temporary folder for the life of the object, so that settings
// written by the code under test never touch the user's own files.
class TempConfigHome {
public:
    TempConfigHome();
    ~TempConfigHome();
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

} // namespace testsupport
