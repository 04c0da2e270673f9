#include "platform/ffmpeg/FfmpegPictureQueue.h"

#include <gtest/gtest.h>
#include <set>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

using namespace platform::ffmpeg;

TEST(PictureQueueTest, LengthFollowsTheRateUntilTheByteBudgetBinds)
{
    struct Case {
        QSize size;
        int rate;
        size_t length;
    };
    for (const Case &c :
         {Case{{1280, 720}, 60, 30}, Case{{1920, 1080}, 30, 15}, Case{{1920, 1080}, 60, 26},
          Case{{3840, 2160}, 60, 6}, Case{{7680, 4320}, 30, 1}, Case{{7680, 4320}, 60, 1},
          Case{{320, 240}, 1, 1}}) {
        SCOPED_TRACE(c.size.width());
        EXPECT_EQ(pictureQueueLength(c.size, c.rate), c.length);
        EXPECT_LE(pictureQueueLength(c.size, c.rate) * pictureBytes(c.size), pictureQueueBytes);
    }
}

// Gives a buffer from the queue a 4K picture the first time it is used.
void fill(AVFrame *picture, int64_t pts)
{
    if (!picture->buf[0]) {
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = 3840;
        picture->height = 2160;
        ASSERT_GE(av_frame_get_buffer(picture, 0), 0);
    }
    picture->pts = pts;
}

TEST(PictureQueueTest, AStalledEncoderCostsFramesNeverMemory)
{
    const QSize size(3840, 2160);
    PictureQueue queue(pictureQueueLength(size, 60));
    const size_t capacity = queue.capacity();

    // Two seconds of frames while the encoder takes none.
    std::set<uint8_t *> buffers;
    for (int i = 0; i < 120; ++i) {
        FramePtr picture = queue.acquire();
        if (!picture)
            continue;
        fill(picture.get(), i);
        buffers.insert(picture->data[0]);
        queue.push(std::move(picture));
    }
    EXPECT_EQ(buffers.size(), capacity);
    EXPECT_LE(buffers.size() * pictureBytes(size), pictureQueueBytes);
    EXPECT_EQ(queue.dropped(), 120 - int(capacity));

    // The encoder resumes: the first frames come out in order, and later ones reuse their
    // buffers.
    for (size_t i = 0; i < capacity; ++i) {
        FramePtr picture = queue.pop();
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->pts, int64_t(i));
        queue.recycle(std::move(picture));
    }
    for (int i = 200; i < 203; ++i) {
        FramePtr picture = queue.acquire();
        ASSERT_TRUE(picture);
        fill(picture.get(), i);
        EXPECT_TRUE(buffers.count(picture->data[0]));
        queue.push(std::move(picture));
    }
    EXPECT_EQ(queue.dropped(), 120 - int(capacity));

    // A failed conversion is a dropped frame too, and gives its buffer back.
    queue.discard(queue.acquire());
    EXPECT_EQ(queue.dropped(), 121 - int(capacity));

    // Finishing hands out what waits, then nothing; no frame is taken afterwards.
    queue.close(false);
    EXPECT_FALSE(queue.acquire());
    for (int64_t pts : {200, 201, 202})
        EXPECT_EQ(queue.pop()->pts, pts);
    EXPECT_FALSE(queue.pop());
    EXPECT_FALSE(queue.abandoned());
}

TEST(PictureQueueTest, AbandoningThrowsAwayWhatWaits)
{
    PictureQueue queue(4);
    for (int i = 0; i < 3; ++i) {
        FramePtr picture = queue.acquire();
        picture->pts = i;
        queue.push(std::move(picture));
    }
    queue.close(true);
    EXPECT_TRUE(queue.abandoned());
    EXPECT_FALSE(queue.pop());
    EXPECT_FALSE(queue.acquire());
    EXPECT_EQ(queue.dropped(), 0);
}

} // namespace
