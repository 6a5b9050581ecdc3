// The real wave-out layer against ALSA's "null" PCM, which is always there
// and swallows what it is given: the queue and header rules, without a
// sound server.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/wave_out.h"
#include "record/format.h"

namespace orv::test {
namespace {

using namespace platform;
using namespace std::chrono_literals;

class NullWaveOut : public ::testing::Test {
protected:
    void SetUp() override {
        device = makeAlsaWaveOut("null", 200);
        const MMResult r = device->open(0, WaveFormat{});
        if (r != MMSYSERR_NOERROR) GTEST_SKIP() << "no ALSA null PCM: " << device->getErrorText(r);
        for (uint32_t k = 0; k < headers.size(); ++k) {
            headers[k].data = memory.data() + size_t{k} * BlockBytes;
            headers[k].bufferLength = BlockBytes;
            headers[k].user = k + 1;
        }
    }
    bool WaitDone(size_t k) {
        for (int i = 0; i < 500 && !headers[k].Done(); ++i) std::this_thread::sleep_for(10ms);
        return headers[k].Done();
    }

    std::unique_ptr<WaveOut> device;
    std::vector<uint8_t> memory = std::vector<uint8_t>(size_t{BlockBytes} * 6, 0x11);
    std::vector<WaveOutHeader> headers = std::vector<WaveOutHeader>(6);
};

TEST_F(NullWaveOut, EveryBufferWrittenComesBackPlayedAndUnpreparesAfterwards) {
    EXPECT_EQ(device->write(headers[0]), WAVERR_UNPREPARED);
    for (auto& h : headers) ASSERT_EQ(device->prepareHeader(h), MMSYSERR_NOERROR);
    for (auto& h : headers) ASSERT_EQ(device->write(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(WaitDone(5));
    for (auto& h : headers) {
        EXPECT_TRUE(h.Done());
        EXPECT_EQ(h.flags.load() & WHDR_INQUEUE, 0u);
        EXPECT_EQ(device->unprepareHeader(h), MMSYSERR_NOERROR);
        EXPECT_EQ(h.flags.load() & WHDR_PREPARED, 0u);
    }
    EXPECT_EQ(device->failure(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->write(headers[0]), MMSYSERR_INVALHANDLE);
}

TEST_F(NullWaveOut, ResetWhilePlayingHandsBackEverythingAndTheDevicePlaysAgain) {
    for (auto& h : headers) {
        ASSERT_EQ(device->prepareHeader(h), MMSYSERR_NOERROR);
        ASSERT_EQ(device->write(h), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->reset(), MMSYSERR_NOERROR);
    for (auto& h : headers) EXPECT_TRUE(h.Done());
    // Written again after the reset, they play again.
    for (auto& h : headers) ASSERT_EQ(device->write(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(WaitDone(5));
    EXPECT_EQ(device->close(), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace orv::test
