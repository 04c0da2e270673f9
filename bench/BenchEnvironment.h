#pragma once

#include "platform/CaptureFolder.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

// What every benchmark needs once its application object exists: progress
// lines kept out of the figures, and staged files written to a private folder
// that is removed afterwards.
class BenchEnvironment {
public:
    BenchEnvironment()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("com.corvanta.app.*.info=false"));
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        platform::CaptureFolder::reset();
    }

private:
    QTemporaryDir m_tmp;
};
