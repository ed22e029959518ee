#include "platform/Exceptions.h"
#include "platform/TargetFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace brindle {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Runs work in a child process; false when it did not finish within five seconds (a write
// that waits for a reader of a named pipe would never finish) or when it threw.
bool FinishesInTime(const std::function<void()>& work) {
    pid_t child = ::fork();
    if (child == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    for (int waited = 0; waited < 500; ++waited) {
        if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

enum class TEntry { File, LinkToOutside, DanglingLink, Fifo, Folder };

struct TAttack {
    const char* label;
    TEntry entry;
};

const TAttack kAttacks[] = {
    {"existing file", TEntry::File},
    {"link to an outside file", TEntry::LinkToOutside},
    {"dangling link", TEntry::DanglingLink},
    {"named pipe", TEntry::Fifo},
    {"folder", TEntry::Folder},
};

class TargetFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("brindle-target-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "target");
        fs::create_directories(root_ / "outside");
        WriteFile(Outside(), "outside secret");
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path Target() const { return root_ / "target"; }
    fs::path Outside() const { return root_ / "outside" / "secret.txt"; }
    fs::path DanglingTarget() const { return root_ / "outside" / "created.txt"; }

    void Plant(TEntry entry, const std::string& name) {
        const fs::path path = Target() / name;
        switch (entry) {
            case TEntry::File: WriteFile(path, "old"); break;
            case TEntry::LinkToOutside: fs::create_symlink(Outside(), path); break;
            case TEntry::DanglingLink: fs::create_symlink(DanglingTarget(), path); break;
            case TEntry::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); break;
            case TEntry::Folder: fs::create_directory(path); break;
        }
    }

    // Nothing outside the target folder was written or created.
    void ExpectOutsideUntouched() {
        EXPECT_EQ(Read(Outside()), "outside secret");
        EXPECT_FALSE(fs::exists(fs::symlink_status(DanglingTarget())));
    }

    fs::path root_;
};

TEST_F(TargetFolderTest, NextFreeNameLeavesEveryKindOfEntryAlone) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Target());
        fs::create_directory(Target());
        Plant(attack.entry, "x.txt");
        const fs::file_type before = fs::symlink_status(Target() / "x.txt").type();
        ASSERT_TRUE(FinishesInTime([&] {
            TTargetFolder folder(Target().string());
            if (folder.Write("x.txt", "new", TIfExists::NextFreeName) != "x (2).txt") throw 1;
        }));
        EXPECT_EQ(Read(Target() / "x (2).txt"), "new");
        EXPECT_EQ(fs::symlink_status(Target() / "x.txt").type(), before);
        if (attack.entry == TEntry::File) {
            EXPECT_EQ(Read(Target() / "x.txt"), "old");
        }
        ExpectOutsideUntouched();
    }
}

TEST_F(TargetFolderTest, FailRefusesEveryKindOfEntry) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Target());
        fs::create_directory(Target());
        Plant(attack.entry, "x.txt");
        ASSERT_FALSE(FinishesInTime([&] {
            TTargetFolder folder(Target().string());
            folder.Write("x.txt", "new", TIfExists::Fail);
        }));
        EXPECT_TRUE(TTargetFolder(Target().string()).Exists("x.txt"));
        ExpectOutsideUntouched();
    }
}

TEST_F(TargetFolderTest, ReplaceSwapsTheEntryAndNeverWritesThroughIt) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Target());
        fs::create_directory(Target());
        Plant(attack.entry, "x.txt");
        const bool replaced = FinishesInTime([&] {
            TTargetFolder folder(Target().string());
            folder.Write("x.txt", "new", TIfExists::Replace);
        });
        if (attack.entry == TEntry::Folder) {
            EXPECT_FALSE(replaced);
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(Target() / "x.txt")));
        } else {
            EXPECT_TRUE(replaced);
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Target() / "x.txt")));
            EXPECT_EQ(Read(Target() / "x.txt"), "new");
        }
        ExpectOutsideUntouched();
        EXPECT_EQ(std::distance(fs::directory_iterator(Target()), fs::directory_iterator()), 1);  // no leftovers
    }
}

TEST_F(TargetFolderTest, ReplaceNeverTakesTheNameOfAFileKeptOpen) {
    const fs::path store = Target() / "Inbox.dbx";
    WriteFile(store, "store bytes");
    fs::create_hard_link(store, Target() / "alias.dbx");
    fs::create_symlink(store, Target() / "link.dbx");
    KeepFromReplacing(store.string());
    TTargetFolder folder(Target().string());
    EXPECT_THROW(folder.Write("Inbox.dbx", "attachment", TIfExists::Replace), EFCreateError);
    EXPECT_THROW(folder.Write("alias.dbx", "attachment", TIfExists::Replace), EFCreateError);
    EXPECT_EQ(Read(store), "store bytes");
    // A link to the store is an entry of its own: replacing it leaves the store alone.
    folder.Write("link.dbx", "attachment", TIfExists::Replace);
    EXPECT_EQ(Read(Target() / "link.dbx"), "attachment");
    EXPECT_EQ(Read(store), "store bytes");
}

TEST_F(TargetFolderTest, NamesThatLeaveTheFolderAreRefused) {
    const std::string names[] = {"", ".", "..", "../outside/secret.txt", "sub/x", std::string("a\0b", 3)};
    TTargetFolder folder(Target().string());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        for (TIfExists mode : {TIfExists::Fail, TIfExists::NextFreeName, TIfExists::Replace})
            EXPECT_THROW(folder.Write(name, "x", mode), EFCreateError);
    }
    EXPECT_TRUE(fs::is_empty(Target()));
    ExpectOutsideUntouched();
}

TEST_F(TargetFolderTest, NewFilesAreRegularWithTheUsualMode) {
    mode_t old = ::umask(022);
    TTargetFolder folder(Target().string());
    EXPECT_EQ(folder.Write("a.bin", std::string(100000, 'z'), TIfExists::Fail), "a.bin");
    ::umask(old);
    struct stat file {};
    ASSERT_EQ(::lstat((Target() / "a.bin").c_str(), &file), 0);
    EXPECT_TRUE(S_ISREG(file.st_mode));
    EXPECT_EQ(file.st_mode & 0777, 0644u);
    EXPECT_EQ(file.st_size, 100000);
}

TEST_F(TargetFolderTest, LongNamesTakenManyTimesAreNumberedInLinearTime) {
    constexpr size_t kNames = 2000;
    TTargetFolder folder(Target().string());
    std::string last;
    for (size_t i = 0; i < kNames; ++i)
        last = folder.Write(std::string(300, 'n') + std::to_string(i) + ".txt", "", TIfExists::NextFreeName);
    EXPECT_TRUE(last.ends_with(" (" + std::to_string(kNames) + ").txt"));
    EXPECT_LE(last.size(), 255u);
    EXPECT_LE(folder.CreateAttempts(), 2 * kNames);
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// A link to a folder outside, planted where a sub-folder is to be made.
TEST_F(TargetFolderTest, SubFoldersAreNeverMadeOrOpenedThroughAnEntryInTheWay) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Target());
        fs::create_directory(Target());
        Plant(attack.entry, "sub");
        TTargetFolder folder(Target().string());
        EXPECT_THROW(folder.CreateSubFolder("sub"), EFCreateError);
        if (attack.entry == TEntry::Folder) {
            std::unique_ptr<TTargetFolder> sub = folder.CreateSubFolder("sub", true);
            sub->Write("in.txt", "inside", TIfExists::Fail);
            EXPECT_EQ(Read(Target() / "sub" / "in.txt"), "inside");
        } else {
            EXPECT_THROW(folder.CreateSubFolder("sub", true), EFCreateError);
        }
        ExpectOutsideUntouched();
    }
    fs::create_symlink(root_ / "outside", Target() / "outside-link");
    TTargetFolder folder(Target().string());
    EXPECT_THROW(folder.CreateSubFolder("outside-link", true), EFCreateError);
    EXPECT_THROW(folder.CreateSubFolder("a/b"), EFCreateError);
    EXPECT_EQ(fs::directory_iterator(root_ / "outside")->path().filename(), "secret.txt");
}

TEST_F(TargetFolderTest, MissingTargetFoldersAreMadeBelowTheirNearestParent) {
    struct TCase {
        const char* label;
        const char* path;  // below Target()
        TMissingLevels levels;
        bool made;
    };
    const TCase cases[] = {
        {"last level", "new", TMissingLevels::LastOnly, true},
        {"last level, trailing slash", "slash/", TMissingLevels::LastOnly, true},
        {"two levels, last only", "a/b", TMissingLevels::LastOnly, false},
        {"two levels", "c/d", TMissingLevels::All, true},
        {"three levels, doubled slash", "e//f/g", TMissingLevels::All, true},
        {"dot-dot among the missing", "h/../i", TMissingLevels::All, false},
        {"below a file", "file/j", TMissingLevels::All, false},
        {"below a link to a folder", "outside-link/k", TMissingLevels::All, false},
        {"a dangling link in the way", "dangling", TMissingLevels::All, false},
    };
    WriteFile(Target() / "file", "x");
    fs::create_symlink(root_ / "outside", Target() / "outside-link");
    fs::create_symlink(DanglingTarget(), Target() / "dangling");
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.label);
        const std::string path = (Target() / test.path).string();
        if (test.made) {
            MakeTargetFolder(path, test.levels);
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(path)));
            MakeTargetFolder(path, test.levels);  // there already: left as it is
        } else {
            EXPECT_THROW(MakeTargetFolder(path, test.levels), EFCreateError);
            EXPECT_FALSE(fs::exists(fs::symlink_status(Target() / "a")));
        }
        ExpectOutsideUntouched();
    }
    EXPECT_FALSE(fs::exists(Target() / "h"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "outside"), fs::directory_iterator()), 1);
    try {
        MakeTargetFolder((Target() / "l/m").string(), TMissingLevels::LastOnly);
        ADD_FAILURE() << "two missing levels were made";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), "Cannot create file " + (Target() / "l/m").string());
    }
}

// Any entry in the way makes the name taken; only a real folder can then be opened.
TEST_F(TargetFolderTest, MakingAFolderIfFreeTakesOnlyAFreeNameAndOpeningFollowsNoLink) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Target());
        fs::create_directory(Target());
        Plant(attack.entry, "sub");
        TTargetFolder folder(Target().string());
        EXPECT_FALSE(folder.MakeSubFolderIfFree("sub"));
        if (attack.entry == TEntry::Folder)
            EXPECT_NO_THROW(folder.OpenSubFolder("sub"));
        else
            EXPECT_THROW(folder.OpenSubFolder("sub"), EFCreateError);
        EXPECT_TRUE(folder.MakeSubFolderIfFree("free"));
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(Target() / "free")));
        folder.OpenSubFolder("free")->Write("in.txt", "inside", TIfExists::Fail);
        EXPECT_EQ(Read(Target() / "free" / "in.txt"), "inside");
        ExpectOutsideUntouched();
    }
    TTargetFolder folder(Target().string());
    for (const char* refused : {"", ".", "..", "a/b"}) {
        EXPECT_THROW(folder.MakeSubFolderIfFree(refused), EFCreateError) << refused;
        EXPECT_THROW(folder.OpenSubFolder(refused), EFCreateError) << refused;
    }
    EXPECT_THROW(folder.OpenSubFolder("missing"), EFCreateError);
}

TEST_F(TargetFolderTest, NewFilesAreWrittenInPiecesDatedAndRemovedWhenLeftUnfinished) {
    TTargetFolder folder(Target().string());
    Plant(TEntry::LinkToOutside, "taken.txt");
    {
        std::unique_ptr<TNewFile> file = folder.Create("taken.txt", TIfExists::NextFreeName);
        EXPECT_EQ(file->Name(), "taken (2).txt");
        file->Append("one ");
        file->Append(std::string(3 << 20, 'x'));  // past the buffer
        file->Append(" two");
        file->Finish(1'000'000'000);
    }
    const std::string bytes = Read(Target() / "taken (2).txt");
    EXPECT_EQ(bytes.size(), 8u + (3u << 20));
    EXPECT_TRUE(bytes.starts_with("one x") && bytes.ends_with("x two"));
    {
        // A piece of the buffer's size that finds the buffer empty goes out at once, in order.
        std::unique_ptr<TNewFile> file = folder.Create("direct.txt", TIfExists::Fail);
        file->Append(std::string(1 << 20, 'y'));
        file->Append(" tail");
        file->Append(std::string(1 << 20, 'z'));
        file->Finish();
    }
    EXPECT_EQ(Read(Target() / "direct.txt"), std::string(1 << 20, 'y') + " tail" + std::string(1 << 20, 'z'));
    struct stat info {};
    ASSERT_EQ(::stat((Target() / "taken (2).txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'000'000'000);
    {
        std::unique_ptr<TNewFile> file = folder.Create("dropped.txt", TIfExists::Fail);
        file->Append("half");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(Target() / "dropped.txt")));
    EXPECT_THROW(folder.Create("taken.txt", TIfExists::Fail), EFCreateError);
    EXPECT_THROW(folder.Create("taken.txt", TIfExists::Replace), EFCreateError);
    ExpectOutsideUntouched();
}

// What is left of "0123456789" with the ranges taken out, then "ab" appended; ranges reach
// past the buffer too, so that bytes move across what was flushed and what was not.
TEST_F(TargetFolderTest, TakingRangesOutMovesTheRestDownAndLaterAppendsFollowOn) {
    using TRanges = std::vector<std::pair<uint64_t, uint64_t>>;
    const std::string big(3 << 20, 'q');
    const struct {
        const char* label;
        TRanges ranges;
    } cases[] = {
        {"none", {}},
        {"the first bytes", {{0, 3}}},
        {"the middle", {{4, 6}}},
        {"the end", {{7, 10}}},
        {"several", {{0, 1}, {3, 5}, {9, 10}}},
        {"everything", {{0, 10}}},
        {"an empty range", {{5, 5}}},
        {"the large middle", {{10, 10 + big.size()}}},
        {"into the large middle", {{5, 12}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string before = std::string("0123456789") + big + "XYZ";
        std::string expected;
        uint64_t at = 0;
        for (const auto& [first, second] : c.ranges) {
            expected += before.substr(at, first - at);
            at = second;
        }
        expected += before.substr(at);
        expected += "ab";
        TTargetFolder folder(Target().string());
        {
            std::unique_ptr<TNewFile> file = folder.Create("cut.txt", TIfExists::Fail);
            file->Append("0123456789");
            file->Append(big);
            file->Append("XYZ");
            file->TakeOut(c.ranges);
            EXPECT_EQ(file->Written(), expected.size() - 2);
            file->Append("ab");
            file->Finish();
        }
        EXPECT_EQ(Read(Target() / "cut.txt"), expected);
        fs::remove(Target() / "cut.txt");
    }
}

TEST_F(TargetFolderTest, RangesOutOfOrderOrPastTheEndRemoveTheFile) {
    using TRanges = std::vector<std::pair<uint64_t, uint64_t>>;
    for (const TRanges& ranges : {TRanges{{3, 2}}, TRanges{{0, 4}, {2, 6}}, TRanges{{8, 11}}}) {
        TTargetFolder folder(Target().string());
        std::unique_ptr<TNewFile> file = folder.Create("bad.txt", TIfExists::Fail);
        file->Append("0123456789");
        EXPECT_THROW(file->TakeOut(ranges), EWriteError);
        EXPECT_FALSE(fs::exists(fs::symlink_status(Target() / "bad.txt")));
    }
}

TEST_F(TargetFolderTest, RemovingAFileNeverFollowsALinkAndKeepsFolders) {
    TTargetFolder folder(Target().string());
    folder.Write("mine.txt", "bytes", TIfExists::Fail);
    Plant(TEntry::LinkToOutside, "link.txt");
    Plant(TEntry::Folder, "folder");
    EXPECT_TRUE(folder.RemoveFile("mine.txt"));
    EXPECT_FALSE(fs::exists(Target() / "mine.txt"));
    EXPECT_TRUE(folder.RemoveFile("link.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Target() / "link.txt")));
    EXPECT_FALSE(folder.RemoveFile("folder"));
    EXPECT_TRUE(fs::is_directory(Target() / "folder"));
    EXPECT_FALSE(folder.RemoveFile("missing.txt"));
    EXPECT_FALSE(folder.RemoveFile("../outside/secret.txt"));
    ExpectOutsideUntouched();
}

}  // namespace
}  // namespace brindle
