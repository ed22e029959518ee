#include "StoreWriter.h"

#include "store/DBXLayout.h"
#include "store/MBXLayout.h"
#include "store/MBXReader.h"
#include "store/NchLayout.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>

namespace brindle::testsupport {

// Where an image goes: memory, or a file that is appended to through a buffer.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual void Append(std::string_view bytes) = 0;
    virtual void Patch(uint64_t offset, std::string_view bytes) = 0;
    virtual void Truncate(uint64_t size) = 0;
    virtual void Close() {}
    virtual const std::string& Bytes() const { throw std::logic_error("the image was written to a file"); }
    uint64_t Size() const { return size_; }

protected:
    uint64_t size_ = 0;
};

namespace {

class TMemorySink final : public TByteSink {
public:
    void Append(std::string_view bytes) override {
        bytes_.append(bytes);
        size_ = bytes_.size();
    }
    void Patch(uint64_t offset, std::string_view bytes) override {
        if (offset + bytes.size() > bytes_.size()) throw std::out_of_range("patch beyond the image");
        bytes_.replace(offset, bytes.size(), bytes);
    }
    void Truncate(uint64_t size) override {
        bytes_.resize(size);
        size_ = size;
    }
    const std::string& Bytes() const override { return bytes_; }

private:
    std::string bytes_;
};

class TFileSink final : public TByteSink {
public:
    explicit TFileSink(const std::string& path) : path_(path) {
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) throw std::runtime_error("cannot create " + path);
    }
    ~TFileSink() override {
        if (fd_ >= 0) close(fd_);
    }
    void Append(std::string_view bytes) override {
        buffer_.append(bytes);
        size_ += bytes.size();
        if (buffer_.size() >= kBufferSize) Flush();
    }
    void Patch(uint64_t offset, std::string_view bytes) override {
        Flush();
        WriteAll(bytes, static_cast<off_t>(offset));
    }
    void Truncate(uint64_t size) override {
        Flush();
        if (ftruncate(fd_, static_cast<off_t>(size)) != 0) throw std::runtime_error("cannot cut " + path_);
        size_ = size;
    }
    void Close() override {
        Flush();
        if (close(fd_) != 0) throw std::runtime_error("cannot close " + path_);
        fd_ = -1;
    }

private:
    static constexpr size_t kBufferSize = 8 << 20;

    void Flush() {
        WriteAll(buffer_, static_cast<off_t>(size_ - buffer_.size()));
        buffer_.clear();
    }
    void WriteAll(std::string_view bytes, off_t at) {
        while (!bytes.empty()) {
            ssize_t done = pwrite(fd_, bytes.data(), bytes.size(), at);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) throw std::runtime_error("cannot write " + path_);
            bytes.remove_prefix(static_cast<size_t>(done));
            at += done;
        }
    }

    std::string path_;
    int fd_ = -1;
    std::string buffer_;
};

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void Put16(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put64(std::string& bytes, size_t at, uint64_t value) {
    Put32(bytes, at, static_cast<uint32_t>(value));
    Put32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    Put32(bytes, 0, value);
    return bytes;
}

void PadTo4(TByteSink& sink) {
    static const char kZeros[4] = {};
    sink.Append(std::string_view(kZeros, (4 - sink.Size() % 4) % 4));
}

uint32_t Offset32(uint64_t offset) {
    if (offset > UINT32_MAX) throw std::length_error("a .dbx cannot pass 4 GB");
    return static_cast<uint32_t>(offset);
}

std::string WithNul(const std::string& text) { return text + '\0'; }

// The entries of a message's info object, in the order the mail client writes them.
std::vector<TDbxInfoEntry> InfoEntries(const TStoreMessage& m, uint32_t dataOffset) {
    std::vector<TDbxInfoEntry> entries;
    auto number = [&](uint8_t indirectId, uint32_t value) {
        if (value < (1u << 24))
            entries.push_back({static_cast<uint8_t>(indirectId | dbx::kDirectForm), value, std::nullopt});
        else
            entries.push_back({indirectId, 0, Le32(value)});
    };
    auto text = [&](uint8_t id, const std::string& value) {
        if (!value.empty()) entries.push_back({id, 0, WithNul(value)});
    };
    if (m.DbxFieldEntries) {
        entries.push_back(
            {static_cast<uint8_t>(dbx::kFieldIndex | dbx::kDirectForm), m.Index & 0xFFFFFF, std::nullopt});
        number(dbx::kFieldFlags, m.Flags);
    }
    if (dataOffset != 0) number(dbx::kFieldDataOffset, dataOffset);
    if (m.DbxFieldEntries) {
        text(dbx::kFieldMessageID, m.MessageID);
        text(dbx::kFieldSubject, m.Subject);
        text(dbx::kFieldServer, m.Server);
        text(dbx::kFieldSenderName, m.SenderName);
        text(dbx::kFieldSenderAddress, m.SenderAddress);
        number(dbx::kFieldPriority, m.Priority);
        if (m.Received != 0) {
            std::string filetime(8, '\0');
            Put64(filetime, 0, m.Received);
            entries.push_back({dbx::kFieldReceived, 0, filetime});
        }
        text(dbx::kFieldReceiverName, m.ReceiverName);
        text(dbx::kFieldReceiverAddress, m.ReceiverAddress);
        text(dbx::kFieldAccountName, m.AccountName);
    }
    entries.insert(entries.end(), m.DbxExtraEntries.begin(), m.DbxExtraEntries.end());
    return entries;
}

// Head and body of an info object at offset.
std::string InfoObjectOf(const std::vector<TDbxInfoEntry>& entries, uint32_t offset,
                         std::optional<uint16_t> bodyLength) {
    if (entries.size() > 255) throw std::length_error("too many info entries");
    std::string table, data;
    for (const TDbxInfoEntry& entry : entries) {
        uint32_t value = entry.Value;
        if (entry.Data) {
            value = static_cast<uint32_t>(data.size());
            data += *entry.Data;
        }
        table += static_cast<char>(entry.Id);
        table += Le32(value).substr(0, 3);
    }
    const size_t body = table.size() + data.size();
    if (body > 0xFFFF) throw std::length_error("info object body over 64 KB");
    std::string object(dbx::kInfoHeadSize, '\0');
    Put32(object, dbx::kInfoMarker, offset);
    Put16(object, dbx::kInfoBodyLength, bodyLength.value_or(static_cast<uint16_t>(body)));
    object[dbx::kInfoEntryCount] = static_cast<char>(entries.size());
    return object + table + data;
}

// Head and body of a message-info object at offset.
std::string InfoObject(const TStoreMessage& m, uint32_t offset, uint32_t dataOffset) {
    return InfoObjectOf(InfoEntries(m, dataOffset), offset, m.DbxBodyLength);
}

uint32_t DefaultFanOut(uint32_t fanOut) { return std::clamp<uint32_t>(fanOut, 1, dbx::kNodeMaxEntries); }

}  // namespace

// ---- .dbx ----------------------------------------------------------------------------------

TDbxWriter::TDbxWriter(TDbxOptions options) : options_(std::move(options)), sink_(std::make_unique<TMemorySink>()) {
    WriteHeaderAndFolderArea();
}

TDbxWriter::TDbxWriter(const std::string& path, TDbxOptions options)
    : options_(std::move(options)), sink_(std::make_unique<TFileSink>(path)) {
    WriteHeaderAndFolderArea();
}

TDbxWriter::~TDbxWriter() = default;

void TDbxWriter::WriteHeaderAndFolderArea() {
    // Class id of a message database; the header fields not set here stay 0.
    static const unsigned char kClassId[20] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3,
                                               0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
    std::string start(dbx::kHeaderSize + dbx::kFolderAreaSize, '\0');
    std::memcpy(start.data(), kClassId, sizeof kClassId);
    std::string name = options_.FolderName.substr(0, dbx::kFolderAreaSize - dbx::kFolderNameStart);
    start.replace(dbx::kFolderAreaOffset + dbx::kFolderNameStart, name.size(), name);
    if (options_.FolderList) Put32(start, dbx::kHeaderMagic2, dbx::kMagic2Folders);
    sink_->Append(start);
}

void TDbxWriter::AddInfoObject(const std::vector<TDbxInfoEntry>& entries) {
    if (finished_) throw std::logic_error("Add after Finish");
    PadTo4(*sink_);
    const uint32_t info = Offset32(sink_->Size());
    sink_->Append(InfoObjectOf(entries, info, std::nullopt));
    layout_.InfoObjects.push_back(info);
    indexed_.push_back(true);
    layout_.FirstBlocks.push_back(0);
    layout_.LastBlocks.push_back(0);
}

void TDbxWriter::Add(const TStoreMessage& m) {
    if (finished_) throw std::logic_error("Add after Finish");
    PadTo4(*sink_);
    const uint32_t info = Offset32(sink_->Size());
    const uint32_t blockSize = std::max<uint32_t>(options_.BlockSize, 1);
    const size_t infoSize = InfoObject(m, info, 0xFFFFFFFF).size();
    const uint32_t firstBlock = m.Text.empty() ? 0 : Offset32((info + infoSize + 3) / 4 * 4);

    // Room for the largest form of the data offset entry; the blocks follow that room. A message
    // without its info object keeps the room, zero-filled.
    std::string object = m.DbxKeepInfo ? InfoObject(m, info, firstBlock) : std::string();
    object.resize((infoSize + 3) / 4 * 4, '\0');
    sink_->Append(object);

    const bool freed = m.DbxPresence == TDbxPresence::Deleted;
    uint32_t block = firstBlock, last = 0;
    for (size_t done = 0; done < m.Text.size(); done += blockSize) {
        const size_t count = std::min<size_t>(blockSize, m.Text.size() - done);
        const bool more = done + count < m.Text.size();
        const uint32_t next = more ? Offset32(uint64_t{block} + dbx::kBlockHeadSize + blockSize) : 0;
        std::string head(dbx::kBlockHeadSize, '\0');
        Put32(head, dbx::kBlockMarker, block);
        Put32(head, dbx::kBlockCapacity, freed ? 0x1FC : blockSize);
        Put32(head, dbx::kBlockTextCount, freed ? 0x210 : static_cast<uint32_t>(count));
        Put32(head, dbx::kBlockNext, next);
        std::string data = m.Text.substr(done, count) + std::string(blockSize - count, '\0');
        if (freed) Put32(data, 0, last);
        sink_->Append(head);
        sink_->Append(data);
        last = block;
        block = next;
    }
    layout_.InfoObjects.push_back(m.DbxKeepInfo ? info : 0);
    indexed_.push_back(m.DbxPresence == TDbxPresence::Indexed);
    layout_.FirstBlocks.push_back(firstBlock);
    layout_.LastBlocks.push_back(last);
}

void TDbxWriter::WriteIndex() {
    PadTo4(*sink_);
    const uint32_t base = Offset32(sink_->Size());
    std::string region;
    std::vector<uint32_t> values;
    for (size_t k = 0; k < layout_.InfoObjects.size(); ++k)
        if (indexed_[k]) values.push_back(layout_.InfoObjects[k]);

    auto newNode = [&]() {
        const uint32_t offset = Offset32(uint64_t{base} + region.size());
        region.append(dbx::kNodeSize, '\0');
        layout_.Nodes.push_back(offset);
        return offset;
    };
    auto at = [&](uint32_t offset) { return static_cast<size_t>(offset - base); };
    auto setEntry = [&](uint32_t node, uint32_t e, uint32_t value, uint32_t child, uint32_t childCount) {
        const size_t entry = at(node) + dbx::kNodeEntries + e * dbx::kEntrySize;
        Put32(region, entry + dbx::kEntryValue, value);
        Put32(region, entry + dbx::kEntryChild, child);
        Put32(region, entry + dbx::kEntryChildCount, childCount);
    };
    auto setHead = [&](uint32_t node, uint32_t parent, uint32_t firstChild, uint32_t firstCount, size_t entries) {
        Put32(region, at(node) + dbx::kNodeMarker, node);
        Put32(region, at(node) + dbx::kNodeParent, parent);
        Put32(region, at(node) + dbx::kNodeFirstChild, firstChild);
        Put32(region, at(node) + dbx::kNodeFirstChildCount, firstCount);
        region[at(node) + dbx::kNodeEntryCount] = static_cast<char>(entries);
    };

    if (!options_.Tree.empty()) {
        const std::vector<TDbxNodeSpec>& tree = options_.Tree;
        for (size_t k = 0; k < tree.size(); ++k) newNode();
        std::vector<uint32_t> parent(tree.size(), 0);
        std::vector<bool> reached(tree.size(), false);
        reached[0] = true;
        std::vector<size_t> queue{0};
        auto reach = [&](int child, size_t from) {
            if (child < 0 || reached[child]) return;
            reached[child] = true;
            parent[child] = layout_.Nodes[from];
            queue.push_back(static_cast<size_t>(child));
        };
        for (size_t q = 0; q < queue.size(); ++q) {
            reach(tree[queue[q]].FirstChild, queue[q]);
            for (const auto& entry : tree[queue[q]].Entries) reach(entry.Child, queue[q]);
        }
        std::vector<bool> onPath(tree.size(), false);
        std::function<uint32_t(int)> valuesIn = [&](int k) -> uint32_t {
            if (k < 0 || onPath[k]) return 0;
            onPath[k] = true;
            uint32_t total = valuesIn(tree[k].FirstChild);
            for (const auto& entry : tree[k].Entries)
                total += (entry.RawValue ? *entry.RawValue != 0 : entry.Message >= 0) + valuesIn(entry.Child);
            onPath[k] = false;
            return total;
        };
        auto nodeAt = [&](int k) { return k < 0 ? 0u : layout_.Nodes[k]; };
        for (size_t k = 0; k < tree.size(); ++k) {
            const TDbxNodeSpec& shape = tree[k];
            const uint32_t node = layout_.Nodes[k];
            setHead(node, parent[k], nodeAt(shape.FirstChild),
                    shape.FirstChildCount.value_or(valuesIn(shape.FirstChild)),
                    std::min<size_t>(shape.Entries.size(), dbx::kNodeMaxEntries));
            for (size_t e = 0; e < shape.Entries.size() && e < dbx::kNodeMaxEntries; ++e) {
                const auto& entry = shape.Entries[e];
                const uint32_t value = entry.RawValue.value_or(entry.Message >= 0 ? values.at(entry.Message) : 0);
                setEntry(node, static_cast<uint32_t>(e), value, nodeAt(entry.Child),
                         entry.ChildCount.value_or(valuesIn(entry.Child)));
            }
        }
    } else {
        const uint32_t fanOut = DefaultFanOut(options_.FanOut);
        // Writes the node for values [a, b) and its subtrees; returns the node's offset.
        std::function<uint32_t(size_t, size_t, uint32_t)> build = [&](size_t a, size_t b, uint32_t parent) {
            const uint32_t node = newNode();
            const size_t n = b - a;
            if (options_.ChainTree || n <= fanOut) {
                const size_t own = options_.ChainTree ? std::min<size_t>(n, 1) : n;
                setHead(node, parent, 0, 0, own);
                for (size_t e = 0; e < own; ++e) setEntry(node, static_cast<uint32_t>(e), values[a + e], 0, 0);
                if (options_.ChainTree && n > 1)
                    setEntry(node, 0, values[a], build(a + 1, b, node), static_cast<uint32_t>(n - 1));
                return node;
            }
            // fanOut values here, the others spread evenly over the fanOut + 1 subtrees.
            const size_t rest = n - fanOut;
            auto groupSize = [&](size_t g) { return rest / (fanOut + 1) + (g < rest % (fanOut + 1) ? 1 : 0); };
            size_t pos = a;
            const size_t first = groupSize(0);
            const uint32_t firstChild = first ? build(pos, pos + first, node) : 0;
            pos += first;
            setHead(node, parent, firstChild, static_cast<uint32_t>(first), fanOut);
            for (uint32_t e = 0; e < fanOut; ++e) {
                const uint32_t value = values[pos++];
                const size_t group = groupSize(e + 1);
                const uint32_t child = group ? build(pos, pos + group, node) : 0;
                setEntry(node, e, value, child, static_cast<uint32_t>(group));
                pos += group;
            }
            return node;
        };
        build(0, values.size(), 0);
    }
    layout_.Root = layout_.Nodes.front();
    sink_->Append(region);
}

void TDbxWriter::Finish() {
    if (finished_) return;
    finished_ = true;
    WriteIndex();
    layout_.FileSize = sink_->Size();
    const auto indexedCount = static_cast<uint32_t>(std::count(indexed_.begin(), indexed_.end(), true));
    std::string count = Le32(options_.HeaderCount.value_or(indexedCount));
    sink_->Patch(dbx::kHeaderMessageCount, count);
    sink_->Patch(dbx::kHeaderRootNode, Le32(layout_.Root));
    // The end of the used space, as the mail client records it.
    sink_->Patch(0x7C, Le32(Offset32(layout_.FileSize)));
    ApplyDamage();
    if (options_.TruncateTo && *options_.TruncateTo < sink_->Size()) sink_->Truncate(*options_.TruncateTo);
    sink_->Close();
}

void TDbxWriter::ApplyDamage() {
    for (const TDbxDamage& damage : options_.Damage) {
        const uint32_t t = damage.Target;
        switch (damage.Kind) {
            case TDbxDamageKind::FirstMagic: sink_->Patch(dbx::kHeaderMagic1, Le32(0x12345678)); break;
            case TDbxDamageKind::SecondMagic: sink_->Patch(dbx::kHeaderMagic2, Le32(0x6F74FDC6)); break;
            case TDbxDamageKind::NodeMarker: sink_->Patch(layout_.Nodes.at(t), Le32(layout_.Nodes.at(t) + 4)); break;
            case TDbxDamageKind::NodeParent:
                sink_->Patch(layout_.Nodes.at(t) + dbx::kNodeParent, Le32(layout_.Nodes.at(t) + 4));
                break;
            case TDbxDamageKind::NodeEntries52:
                sink_->Patch(layout_.Nodes.at(t) + dbx::kNodeEntryCount, std::string(1, char{52}));
                break;
            case TDbxDamageKind::InfoMarker:
                sink_->Patch(layout_.InfoObjects.at(t), Le32(layout_.InfoObjects.at(t) + 4));
                break;
            case TDbxDamageKind::BlockMarker:
                sink_->Patch(layout_.FirstBlocks.at(t), Le32(layout_.FirstBlocks.at(t) + 4));
                break;
            case TDbxDamageKind::ChainCycle:
                sink_->Patch(layout_.LastBlocks.at(t) + dbx::kBlockNext, Le32(layout_.FirstBlocks.at(t)));
                break;
        }
    }
}

const std::string& TDbxWriter::Bytes() const { return sink_->Bytes(); }

std::string BuildDbx(const std::vector<TStoreMessage>& messages, const TDbxOptions& options) {
    TDbxWriter writer(options);
    for (const TStoreMessage& m : messages) writer.Add(m);
    writer.Finish();
    return writer.Bytes();
}

// ---- folder list ---------------------------------------------------------------------------

std::vector<TDbxInfoEntry> FolderInfoEntries(const TFolderListEntry& folder) {
    std::vector<TDbxInfoEntry> entries;
    auto number = [&](uint8_t field, uint32_t value) {
        if (value < (1u << 24))
            entries.push_back({static_cast<uint8_t>(field | dbx::kDirectForm), value, std::nullopt});
        else
            entries.push_back({field, 0, Le32(value)});
    };
    number(dbx::kFolderFieldId, folder.Id);
    number(dbx::kFolderFieldParent, folder.ParentId);
    entries.push_back({dbx::kFolderFieldName, 0, WithNul(folder.Name)});
    if (!folder.FileName.empty()) entries.push_back({dbx::kFolderFieldFile, 0, WithNul(folder.FileName)});
    number(dbx::kFolderFieldFlags, folder.Flags);
    number(dbx::kFolderFieldCount, folder.MessageCount);
    number(dbx::kFolderFieldUnread, folder.UnreadCount);
    if (folder.Special != 0) number(dbx::kFolderFieldSpecial, folder.Special);
    number(dbx::kFolderFieldAccountKind, folder.AccountKind);
    return entries;
}

namespace {

void AddFolders(TDbxWriter& writer, const std::vector<TFolderListEntry>& folders) {
    for (const TFolderListEntry& folder : folders) writer.AddInfoObject(FolderInfoEntries(folder));
    writer.Finish();
}

}  // namespace

std::string BuildFolderList(const std::vector<TFolderListEntry>& folders, TDbxOptions options) {
    options.FolderList = true;
    TDbxWriter writer(std::move(options));
    AddFolders(writer, folders);
    return writer.Bytes();
}

void WriteFolderList(const std::string& path, const std::vector<TFolderListEntry>& folders, TDbxOptions options) {
    options.FolderList = true;
    TDbxWriter writer(path, std::move(options));
    AddFolders(writer, folders);
}

// ---- .mbx / .idx ---------------------------------------------------------------------------

namespace {

std::string Header(size_t size, uint32_t magic) {
    std::string header(size, '\0');
    Put32(header, 0, magic);
    return header;
}

std::string CountedString(const std::string& text, bool withNul) {
    if (text.empty()) return Le32(0);
    std::string bytes = withNul ? WithNul(text) : text;
    return Le32(static_cast<uint32_t>(bytes.size())) + bytes;
}

}  // namespace

TMbxWriter::TMbxWriter(TMbxOptions options)
    : options_(std::move(options)), mbx_(std::make_unique<TMemorySink>()), idx_(std::make_unique<TMemorySink>()) {
    mbx_->Append(Header(mbx::kHeaderSize, options_.BadMagic ? 0x35464D4A : mbx::kMagic));
    if (options_.WriteIndex)
        idx_->Append(Header(mbx::kIdxHeaderSize, options_.BadIndexMagic ? 0x38464D4A : mbx::kIdxMagic));
}

TMbxWriter::TMbxWriter(const std::string& mbxPath, TMbxOptions options) : options_(std::move(options)) {
    mbx_ = std::make_unique<TFileSink>(mbxPath);
    if (options_.WriteIndex)
        idx_ = std::make_unique<TFileSink>(TMBXReader::IndexFileName(mbxPath));
    else
        idx_ = std::make_unique<TMemorySink>();
    mbx_->Append(Header(mbx::kHeaderSize, options_.BadMagic ? 0x35464D4A : mbx::kMagic));
    if (options_.WriteIndex)
        idx_->Append(Header(mbx::kIdxHeaderSize, options_.BadIndexMagic ? 0x38464D4A : mbx::kIdxMagic));
}

TMbxWriter::~TMbxWriter() = default;

void TMbxWriter::Add(const TStoreMessage& m) {
    if (finished_) throw std::logic_error("Add after Finish");
    const uint64_t record = mbx_->Size();
    const auto realLength = static_cast<uint32_t>(mbx::kRecordHeadSize + m.Text.size() + options_.RecordPadding);
    std::string head(mbx::kRecordHeadSize, '\0');
    Put32(head, mbx::kRecordTag, 0x7F007F00);
    Put32(head, mbx::kRecordNumber, m.Index);
    Put32(head, mbx::kRecordLength, m.MbxRecordLength.value_or(realLength));
    Put32(head, mbx::kRecordTextLength, m.MbxTextLength.value_or(static_cast<uint32_t>(m.Text.size())));
    mbx_->Append(head);
    mbx_->Append(m.Text);
    mbx_->Append(std::string(options_.RecordPadding, '\0'));
    layout_.Records.push_back(record);

    if (!options_.WriteIndex || !m.MbxListed) return;
    const uint64_t at = idx_->Size();
    std::string strings;
    const std::string unused;
    for (const std::string* text :
         {&m.Subject, &m.ReceiverAddress, &m.SenderAddress, &m.Server, &unused, &unused, &m.AccountName})
        strings += CountedString(*text, options_.IndexStringsWithNul);
    std::string fixed(mbx::kIdxFixedSize, '\0');
    Put32(fixed, mbx::kIdxFlags, m.Flags);
    Put32(fixed, mbx::kIdxMessageNumber, m.Index);
    Put32(fixed, mbx::kIdxOwnOffset, static_cast<uint32_t>(at));
    Put32(fixed, mbx::kIdxRecordLength, static_cast<uint32_t>(fixed.size() + strings.size()));
    Put32(fixed, mbx::kIdxTextOffset, static_cast<uint32_t>(record + mbx::kRecordHeadSize));
    Put32(fixed, mbx::kIdxTextSize, static_cast<uint32_t>(m.Text.size()));
    Put64(fixed, mbx::kIdxReceived, m.Received);
    Put16(fixed, mbx::kIdxPriority, static_cast<uint16_t>(m.Priority));
    idx_->Append(fixed);
    idx_->Append(strings);
    layout_.IndexRecords.push_back(at);
}

void TMbxWriter::Finish() {
    if (finished_) return;
    finished_ = true;
    const auto count = static_cast<uint32_t>(layout_.Records.size());
    mbx_->Patch(mbx::kHeaderCount, Le32(options_.HeaderCount.value_or(count)));
    if (options_.TruncateTo && *options_.TruncateTo < mbx_->Size()) mbx_->Truncate(*options_.TruncateTo);
    mbx_->Close();
    if (options_.WriteIndex) {
        idx_->Patch(mbx::kIdxHeaderCount, Le32(options_.IndexHeaderCount.value_or(count)));
        if (options_.IndexTruncateTo && *options_.IndexTruncateTo < idx_->Size())
            idx_->Truncate(*options_.IndexTruncateTo);
        idx_->Close();
    }
}

const std::string& TMbxWriter::Bytes() const { return mbx_->Bytes(); }

const std::string& TMbxWriter::IndexBytes() const { return idx_->Bytes(); }

TMbxImages BuildMbx(const std::vector<TStoreMessage>& messages, const TMbxOptions& options) {
    TMbxWriter writer(options);
    for (const TStoreMessage& m : messages) writer.Add(m);
    writer.Finish();
    return {writer.Bytes(), writer.IndexBytes()};
}

// ---- FOLDERS.NCH ---------------------------------------------------------------------------

namespace {

// Records are written back to back after the header, each this long.
constexpr uint32_t kNchRecordBytes = nch::kRecordFieldsEnd + 9;

struct TNchLinks {
    uint32_t Child = nch::kNoChild;
    uint32_t Sibling = nch::kNoSibling;
};

// Child and sibling links that hang each folder under its parent, in the order given.
std::map<uint32_t, TNchLinks> NchLinks(const std::vector<TNchFolder>& folders) {
    std::map<uint32_t, TNchLinks> links;
    std::map<uint32_t, uint32_t> lastChild;
    links[nch::kRootIndex];
    for (const TNchFolder& folder : folders) {
        links[folder.Index];
        auto last = lastChild.find(folder.ParentIndex);
        if (last == lastChild.end())
            links[folder.ParentIndex].Child = folder.Index;
        else
            links[last->second].Sibling = folder.Index;
        lastChild[folder.ParentIndex] = folder.Index;
    }
    for (const TNchFolder& folder : folders) {
        if (folder.Child) links[folder.Index].Child = *folder.Child;
        if (folder.Sibling) links[folder.Index].Sibling = *folder.Sibling;
    }
    return links;
}

void PutText(std::string& bytes, size_t at, size_t width, const std::string& text) {
    bytes.replace(at, std::min(text.size(), width - 1), text.substr(0, width - 1));
}

}  // namespace

std::string BuildNchTree(const std::vector<TNchFolder>& folders, const TNchOptions& options,
                         std::vector<uint32_t>* recordOffsets) {
    std::vector<TNchFolder> records{TNchFolder{nch::kRootIndex, nch::kRootIndex, "", "", 0, {}, {}}};
    records.insert(records.end(), folders.begin(), folders.end());
    const std::map<uint32_t, TNchLinks> links = NchLinks(folders);
    std::string image(nch::kHeaderSize + records.size() * kNchRecordBytes, '\0');
    auto offsetOf = [](size_t k) { return static_cast<uint32_t>(nch::kHeaderSize + k * kNchRecordBytes); };
    Put32(image, nch::kHeaderFirstRecord, options.FirstRecord.value_or(offsetOf(0)));
    for (size_t k = 0; k < records.size(); ++k) {
        const TNchFolder& folder = records[k];
        const uint32_t at = offsetOf(k);
        uint32_t next = k + 1 < records.size() ? offsetOf(k + 1) : 0;
        if (options.NextLinksTo && options.NextLinksTo->first == k) next = offsetOf(options.NextLinksTo->second);
        if (options.NextRawOffset && options.NextRawOffset->first == k) next = options.NextRawOffset->second;
        Put32(image, at + nch::kRecordOwnOffset, at);
        Put32(image, at + nch::kRecordSize, kNchRecordBytes);
        Put32(image, at + nch::kRecordPrevious, k == 0 ? 0 : offsetOf(k - 1));
        Put32(image, at + nch::kRecordNext, next);
        Put32(image, at + nch::kRecordIndex, folder.Index);
        PutText(image, at + nch::kRecordName, nch::kNameBytes, folder.Name);
        PutText(image, at + nch::kRecordFileName, nch::kFileNameBytes, folder.FileName);
        Put32(image, at + nch::kRecordParent, folder.ParentIndex);
        Put32(image, at + nch::kRecordChild, links.at(folder.Index).Child);
        Put32(image, at + nch::kRecordSibling, links.at(folder.Index).Sibling);
        Put32(image, at + nch::kRecordType, folder.Type);
        if (recordOffsets) recordOffsets->push_back(at);
    }
    if (options.TruncateTo && *options.TruncateTo < image.size()) image.resize(*options.TruncateTo);
    return image;
}

void WriteNchTree(const std::string& path, const std::vector<TNchFolder>& folders, const TNchOptions& options) {
    const std::string image = BuildNchTree(folders, options);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// ---- helpers -------------------------------------------------------------------------------

std::string MessageText(const std::vector<std::string>& headerLines, std::string_view body) {
    std::string text;
    for (const std::string& line : headerLines) text += line + "\r\n";
    text += "\r\n";
    text += body;
    return text;
}

uint64_t FileTimeOf(int year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
    const sys_days epoch{std::chrono::year{1601} / January / 1};
    const int64_t seconds = (date - epoch).count() * int64_t{86400} + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>(seconds) * 10000000u;
}

}  // namespace brindle::testsupport
