#pragma once

#include "model/CaptureItem.h"
#include "model/CaptureTestSupport.h"
#include "platform/CaptureFolder.h"
#include "support/AwaitError.h"
#include "support/TempDirScope.h"

#include <QFile>
#include <optional>
#include <qcoro/qcorotask.h>

// The error of type E the task ended with, or nothing when it completed.
template <typename E, typename T> std::optional<E> errorOf(QCoro::Task<T> task)
{
    return awaitError<E>(std::move(task));
}

// A screenshot whose image can no longer be read: its PNG went from disk after the in-memory
// copy was dropped.
// A screenshot whose file is still there but holds anything other than its picture.
inline CaptureItem makeUnreadableScreenshot(const TempDirScope &tmp)
{
    const CaptureItem item = makeScreenshot(filledImage(30, 20, Qt::red));
    waitForWrites();
    spoilFile(tmp.captureFile(item.fileName()));
    return item;
}

// A screenshot whose pixels stay in memory: without a captures folder nothing goes to disk.
inline CaptureItem makeScreenshotInMemory(const TempDirScope &tmp, const QImage &image)
{
    // A folder where nothing can be made, not even by root: no captures folder.
    qputenv("TMPDIR", "/proc/self");
    platform::CaptureFolder::reset();
    CaptureItem item = makeScreenshot(image);
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    platform::CaptureFolder::reset();
    return item;
}

inline QString idText(const CaptureItem &item)
{
    return item.id().toString(QUuid::WithoutBraces).toUpper();
}
