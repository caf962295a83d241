#include "platform/sys_log.h"
#include "platform/sys_os.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> list_dir(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

class SysLog : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/syslog_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        log_close();
        log_set_level(LOG_ERROR);
    }
    void TearDown() override
    {
        log_close();
        log_set_level(LOG_ERROR);
        for (const auto &n : list_dir(dir_)) {
            std::string p = dir_ + "/" + n;
            if (remove(p.c_str()) != 0) rmdir(p.c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string path(const char *name) const { return dir_ + "/" + name; }

    std::string dir_;
};

const char *const PREFIX_RE = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] : )";

TEST_F(SysLog, ThresholdLevelTextsAndPrefix)
{
    std::string file = path("a.log");
    ASSERT_EQ(log_init(file.c_str()), 0);

    EXPECT_EQ(log_print(LOG_WARN, "%s, dropped\r\n", "fn"), 0);
    EXPECT_EQ(log_print(LOG_ERROR, "%s, kept %d\r\n", "fn", 7), (int)strlen("fn, kept 7\r\n"));
    EXPECT_EQ(log_print(6, "above fatal\r\n"), 0);
    EXPECT_EQ(log_print(-1, "negative\r\n"), 0);
    EXPECT_TRUE(std::regex_match(
        read_file(file), std::regex(std::string(PREFIX_RE) + R"(\[ERROR\] fn, kept 7\r\n)")))
        << read_file(file);

    EXPECT_EQ(log_set_level(LOG_TRACE), LOG_TRACE);
    EXPECT_EQ(log_get_level(), LOG_TRACE);
    for (int level = LOG_TRACE; level <= LOG_FATAL; level++)
        EXPECT_EQ(log_print(level, "L%d\n", level), 3);
    std::string all = read_file(file);
    const char *texts[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
    size_t at = 0;
    for (int level = 0; level <= 5; level++) {
        std::string want = std::string("] : [") + texts[level] + "] L" + std::to_string(level);
        size_t pos = all.find(want, at);
        ASSERT_NE(pos, std::string::npos) << want;
        at = pos;
    }

    // A negative threshold still keeps out levels that have no text.
    log_set_level(-5);
    EXPECT_EQ(log_print(-1, "no text for this level\n"), 0);
    EXPECT_EQ(log_print(-5, "nor this\n"), 0);
    EXPECT_EQ(read_file(file), all);

    // Above every level: log_print is silent, the block calls are not.
    log_set_level(6);
    EXPECT_EQ(log_print(LOG_FATAL, "silent\n"), 0);
    EXPECT_EQ(log_lock_start("b1 %d\n", 1), 5);
    EXPECT_EQ(log_lock_print("b2\n"), 3);
    EXPECT_EQ(log_lock_end("b3\n"), 3);
    EXPECT_EQ(read_file(file), all + "b1 1\nb2\nb3\n");
}

// A block keeps the lines of other threads out until its end, while another
// thread logs all the time.
TEST_F(SysLog, BlockKeepsOtherThreadsOut)
{
    std::string file = path("block.log");
    ASSERT_EQ(log_init(file.c_str()), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread other([&] {
        for (int i = 0; i < 1000000 && !stop; i++) {
            log_print(LOG_FATAL, "other thread\n");
            written++;
        }
    });
    EXPECT_TRUE(wait_until([&] { return written.load() > 0; }));
    int before = written.load();
    EXPECT_GT(log_lock_start("start\n"), 0);
    EXPECT_GT(log_print(LOG_ERROR, "same thread\n"), 0); // recursive: no deadlock
    for (int i = 0; i < 20; i++)
        log_lock_print("middle %d\n", i);
    log_lock_end("end\n");
    EXPECT_TRUE(wait_until([&] { return written.load() > before + 10; }));
    stop = true;
    other.join();

    // The block's lines follow each other with nothing in between.
    std::string text = read_file(file);
    size_t at = text.find("start\n");
    ASSERT_NE(at, std::string::npos);
    std::istringstream lines(text.substr(at));
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    EXPECT_TRUE(
        std::regex_match(line, std::regex(std::string(PREFIX_RE) + R"(\[ERROR\] same thread)")))
        << line;
    for (int i = 0; i < 20; i++) {
        std::getline(lines, line);
        EXPECT_EQ(line, "middle " + std::to_string(i));
    }
    std::getline(lines, line);
    EXPECT_EQ(line, "end");

    // An end without a start only writes its text; the log stays usable.
    EXPECT_EQ(log_lock_end("stray\n"), 6);
    EXPECT_TRUE(finishes_within([] { log_print(LOG_FATAL, "after\n"); }, 5000));
}

TEST_F(SysLog, TimeNamesAndReopening)
{
    std::string prefix = path("app");
    log_set_level(LOG_INFO);
    ASSERT_EQ(log_time_init(prefix.c_str()), 0);
    EXPECT_GT(log_print(LOG_INFO, "first\n"), 0);
    ASSERT_EQ(log_time_reinit(prefix.c_str()), 0);
    EXPECT_EQ(log_get_level(), LOG_INFO) << "threshold survives re-opening";
    EXPECT_GT(log_print(LOG_INFO, "second\n"), 0);

    std::vector<std::string> names = list_dir(dir_);
    ASSERT_EQ(names.size(), 2u);
    std::string txt, log;
    for (const auto &n : names) {
        if (std::regex_match(n, std::regex(R"(app-\d{8}_\d{6}\.txt)"))) txt = n;
        if (std::regex_match(n, std::regex(R"(app-\d{8}_\d{6}\.log)"))) log = n;
    }
    ASSERT_FALSE(txt.empty());
    ASSERT_FALSE(log.empty());
    std::string t = read_file(path(txt.c_str())), l = read_file(path(log.c_str()));
    EXPECT_NE(t.find("first\n"), std::string::npos);
    EXPECT_EQ(t.find("second"), std::string::npos);
    EXPECT_NE(l.find("second\n"), std::string::npos);
    EXPECT_EQ(l.find("first"), std::string::npos);
}

TEST_F(SysLog, FailedReopenLeavesLogClosedButUnlocked)
{
    std::string file = path("a.log");
    ASSERT_EQ(log_init(file.c_str()), 0);
    std::string bad = path("missing-dir/b.log");

    testing::internal::CaptureStdout();
    EXPECT_EQ(log_reinit(bad.c_str()), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "log init fopen[" + bad + "] failed[" + strerror(ENOENT) + "]\r\n");

    // Closed, as before the first opening: nothing is written.
    EXPECT_EQ(log_print(LOG_FATAL, "lost\n"), 0);
    EXPECT_EQ(log_lock_start("lost\n"), 0);
    EXPECT_EQ(log_lock_print("lost\n"), 0);
    EXPECT_EQ(log_lock_end("lost\n"), 0);
    EXPECT_TRUE(finishes_within([] { log_print(LOG_FATAL, "x\n"); }, 5000));

    // The mutex is kept and free: another thread re-opens and logs.
    std::string again = path("c.log");
    int r = -1;
    EXPECT_TRUE(finishes_within([&] { r = log_reinit(again.c_str()); }, 5000));
    EXPECT_EQ(r, 0);
    EXPECT_GT(log_print(LOG_FATAL, "back\n"), 0);
    EXPECT_NE(read_file(again).find("back\n"), std::string::npos);
    EXPECT_EQ(read_file(file).find("lost"), std::string::npos);
    EXPECT_TRUE(finishes_within([] { log_close(); }, 5000));
    EXPECT_EQ(log_print(LOG_FATAL, "closed\n"), 0);
}

TEST_F(SysLog, BadPathsAndOverlongPrefixes)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(log_init(path("missing-dir/x.log").c_str()), -1);
    EXPECT_EQ(log_init(nullptr), -1);
    EXPECT_EQ(log_time_init(nullptr), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("log init fopen[", 0), 0u) << out;

    // "<prefix>-YYYYMMDD_hhmmss.txt" adds 20 characters; 255 is the most that fits.
    std::string fits = dir_ + "/" + std::string(235 - dir_.size() - 1, 'p');
    ASSERT_EQ(fits.size(), 235u);
    ASSERT_EQ(log_time_init(fits.c_str()), 0);
    EXPECT_GT(log_print(LOG_ERROR, "kept\n"), 0);
    ASSERT_EQ(list_dir(dir_).size(), 1u);
    std::string opened = dir_ + "/" + list_dir(dir_)[0];
    EXPECT_EQ(opened.size(), 255u);

    // One more character: refused, nothing cut, and the open log stays as it was.
    std::string too_long = fits + "q";
    testing::internal::CaptureStdout();
    EXPECT_EQ(log_time_init(too_long.c_str()), -1);
    EXPECT_EQ(log_time_reinit(too_long.c_str()), -1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(strerror(ENAMETOOLONG)), std::string::npos) << out;
    EXPECT_EQ(list_dir(dir_).size(), 1u);
    EXPECT_GT(log_print(LOG_ERROR, "still\n"), 0);
    EXPECT_NE(read_file(opened).find("kept\n"), std::string::npos);
    EXPECT_NE(read_file(opened).find("still\n"), std::string::npos);
}

TEST_F(SysLog, MemoryLog)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);

    EXPECT_EQ(mem_log_print("a %d\n", 1), 4);
    EXPECT_EQ(mem_log_print("%s", "bc"), 2);
    EXPECT_EQ(read_file("mem_log.txt"), "a 1\nbc");
    mem_log_quit();
    mem_log_quit(); // twice is harmless
    EXPECT_EQ(mem_log_print("new\n"), 4);
    EXPECT_EQ(read_file("mem_log.txt"), "new\n") << "re-opening truncates";
    mem_log_quit();

    // A file that cannot be opened: 0 now, retried on the next call.
    ASSERT_EQ(remove("mem_log.txt"), 0);
    ASSERT_EQ(mkdir("mem_log.txt", 0700), 0);
    EXPECT_EQ(mem_log_print("lost\n"), 0);
    ASSERT_EQ(rmdir("mem_log.txt"), 0);
    EXPECT_EQ(mem_log_print("ok\n"), 3);
    EXPECT_EQ(read_file("mem_log.txt"), "ok\n");
    mem_log_quit();

    // Lines of different threads stay whole.
    std::thread workers[3];
    for (int w = 0; w < 3; w++) {
        workers[w] = std::thread([w] {
            for (int i = 0; i < 200; i++)
                mem_log_print("worker %d line %03d\n", w, i);
        });
    }
    for (auto &t : workers)
        t.join();
    mem_log_quit();
    std::istringstream lines(read_file("mem_log.txt"));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(worker \d line \d{3})"))) << line;
        count++;
    }
    EXPECT_EQ(count, 600);
    EXPECT_EQ(log_print(LOG_FATAL, "x\n"), 0); // the process log is untouched

    ASSERT_EQ(chdir(cwd), 0);
}

} // namespace
