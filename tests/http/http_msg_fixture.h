// Shared test scaffolding for the HTTP message tests: a log captured into a
// temporary file, and a fixture that makes the buffer pools and the message
// record pool, and checks after each test that every unit went back.
#ifndef TESTS_HTTP_HTTP_MSG_FIXTURE_H
#define TESTS_HTTP_HTTP_MSG_FIXTURE_H

#include "http/http_msg.h"
#include "platform/sys_buf.h"
#include "platform/sys_log.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// sys_buf_init(kNetBufs): kNetBufs net_buf buffers and 8 * kNetBufs HDRV units;
// kMsgs message records.
class HttpPoolTest : public ::testing::Test
{
  protected:
    static constexpr uint32_t kNetBufs = 8;
    static constexpr int kMsgs = 8;

    void SetUp() override
    {
        ASSERT_EQ(sys_buf_init(kNetBufs), 1);
        ASSERT_EQ(http_msg_buf_init(kMsgs), 0);
        net_idle_ = net_buf_idle_num();
        hdrv_idle_ = hdrv_buf_idle_num();
        msg_idle_ = http_idle_msg_buf_num();
        ASSERT_EQ(net_idle_, kNetBufs);
        ASSERT_EQ(hdrv_idle_, 8 * kNetBufs);
        ASSERT_EQ(msg_idle_, (uint32_t)kMsgs);
    }
    void TearDown() override
    {
        EXPECT_EQ(net_buf_idle_num(), net_idle_) << "net_buf leaked";
        EXPECT_EQ(hdrv_buf_idle_num(), hdrv_idle_) << "HDRV leaked";
        EXPECT_EQ(http_idle_msg_buf_num(), msg_idle_) << "message record leaked";
        http_msg_buf_deinit();
        sys_buf_deinit();
    }

    // A NUL-terminated, writable copy of a text (the parser cuts in place).
    static std::vector<char> buf_of(const std::string &s)
    {
        std::vector<char> v(s.begin(), s.end());
        v.push_back('\0');
        return v;
    }

    LogCapture log_;
    uint32_t net_idle_ = 0;
    uint32_t hdrv_idle_ = 0;
    uint32_t msg_idle_ = 0;
};

#endif
