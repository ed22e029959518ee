#include "store/OEReader.h"

#include "platform/LittleEndian.h"

#include <chrono>
#include <filesystem>

namespace brindle {
namespace {

constexpr uint32_t kOE4Magic = 0x36464D4A;  // "JMF6"
constexpr uint32_t kOE5Magic = 0xFE12ADCF;  // CF AD 12 FE
constexpr uint64_t kIntervalsPerMillisecond = 10000;
constexpr uint64_t kMillisecondsPerDay = 86400000;
// Days from 1601-01-01 (the FILETIME epoch) to 1899-12-30 (day 0 of a date-time value).
constexpr int64_t kFileTimeEpochToDateTimeEpoch = 109205;

std::unique_ptr<TByteSource> OpenRealFile(const std::string& path) { return TByteSource::OpenFile(path); }

bool RealFileExists(const std::string& path) {
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// The calendar date that a day count from 1601-01-01 falls on.
std::chrono::year_month_day DateOfDay(int64_t daysSince1601) {
    using namespace std::chrono;
    return year_month_day{sys_days{year{1601} / January / 1} + days{daysSince1601}};
}

}  // namespace

TOEReader::TOEReader() : opener_(OpenRealFile), exists_(RealFileExists) {}

TOEReader::~TOEReader() = default;

std::string TOEReader::GetFolderName() { return {}; }

std::string TOEReader::GetMessageHeader(int32_t) { return {}; }

std::string TOEReader::GetMessageText(int32_t) { return {}; }

int32_t TOEReader::GetMessageCount() { return 0; }

TMessageInfo TOEReader::GetMessageInfo(int32_t Index) const { return messages_.Get(Index); }

void TOEReader::Open(const std::string& FileName) {
    loaded_ = false;
    fileName_ = FileName;
    // The summaries may refer to the file that is about to be closed.
    messages_.Clear();
    stream_.reset();
    fileKind_ = kFileKindUnknown;
    stream_ = pendingSource_ && pendingName_ == FileName ? std::move(pendingSource_) : opener_(FileName);
    pendingSource_.reset();
    fileKind_ = DetectFileKind(stream_->Read(0, 4));
}

void TOEReader::SetOpenedFile(const std::string& FileName, std::unique_ptr<TByteSource> source) {
    pendingName_ = FileName;
    pendingSource_ = std::move(source);
}

void TOEReader::Warn(std::string text, TErrorContext context) const {
    if (warnings_) warnings_({std::move(text), std::move(context)});
}

uint8_t DetectFileKind(std::string_view firstBytes) {
    if (firstBytes.size() < 4) return kFileKindUnknown;
    const uint32_t magic = le::U32(firstBytes, 0);
    if (magic == kOE4Magic) return kFileKindOE4;
    if (magic == kOE5Magic) return kFileKindOE5;
    return kFileKindUnknown;
}

void TOEReader::ReadMessageInfos() {}

void TOEReader::SetFileSystem(TFileOpener opener, TFileExists exists) {
    opener_ = opener ? std::move(opener) : OpenRealFile;
    exists_ = exists ? std::move(exists) : RealFileExists;
}

const TByteSource& TOEReader::Stream() const { return *stream_; }

std::unique_ptr<TByteSource> TOEReader::OpenOther(const std::string& path) const { return opener_(path); }

bool TOEReader::FileExists(const std::string& path) const { return exists_(path); }

TDateTime FileTimeToDateTime(uint64_t Value) {
    if (Value >= (uint64_t{1} << 63)) return 0;
    const uint64_t milliseconds = Value / kIntervalsPerMillisecond;
    const auto daysSince1601 = static_cast<int64_t>(milliseconds / kMillisecondsPerDay);
    const uint64_t millisecondOfDay = milliseconds % kMillisecondsPerDay;

    const TDateTime timePart = static_cast<TDateTime>(millisecondOfDay) / kMillisecondsPerDay;
    const auto date = DateOfDay(daysSince1601);
    const int year = static_cast<int>(date.year());
    // A time past the year 9999 is no time that a message was received at: unknown.
    if (year < 1 || year > 9999) return 0;
    return static_cast<TDateTime>(daysSince1601 - kFileTimeEpochToDateTimeEpoch) + timePart;
}

}  // namespace brindle
