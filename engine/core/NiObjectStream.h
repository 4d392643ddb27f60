#pragma once

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiLoadArena.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiSparsePtrArray.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <string>
#include <unordered_map>
#include <vector>

class NiFileSearchPath;
class NiObject;
class NiObjectStream;
class NiSharedTextureTable;

using NiCreateFunction = NiObject* (*)();
using NiPostLoadCallback = void (*)(NiObjectStream& kStream, NiObject* pkTopObject);
// Run on every loaded object of files older than 4.1.0.12 (after the
// post-load callbacks); the scene library sets it to reset the update
// flags of parentless positioned objects.
using NiOldUpdateFlagFix = void (*)(NiObjectStream& kStream, NiObject* pkObject);

// Allocation group of old files: a byte budget. Loads record the size only;
// nothing is allocated from a size a file gives.
struct NiBlockGroup
{
    std::uint32_t m_uiSize = 0;
    std::uint8_t* m_pucBuffer = nullptr;
    std::uint8_t* m_pucCursor = nullptr;
    std::uint32_t m_uiSpare = 0;
};

// Packs a.b.c.d into the 32-bit form files store and compare.
constexpr std::uint32_t NiStreamVersion(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// The binary scene-file stream: loads and saves sets of engine objects with
// the links between them, from files or memory.
//
// Loading never trusts the file: every count and length is checked against
// the bytes left before anything is sized from it, every link must name an
// object of the file (of the class its slot takes), and a short read fails
// the load. Any of these gives ERROR_CORRUPT, and a failed load keeps none of
// the objects it made.
class NiObjectStream
{
public:
    // The version every save writes.
    static constexpr std::uint32_t CURRENT_VERSION = NiStreamVersion(10, 2, 0, 0);
    static constexpr const char* CURRENT_VERSION_STRING = "10.2.0.0";
    static constexpr std::uint32_t OLDEST_VERSION = NiStreamVersion(3, 3, 0, 11);
    static constexpr const char* HEADER_LINE = "Quenthal File Format, Version 10.2.0.0\n";
    static constexpr std::uint32_t NULL_LINK = 0xFFFFFFFF;
    static constexpr std::uint32_t CREATE_TABLE_BUCKETS = 59;
    static constexpr std::uint32_t FILE_BUFFER_SIZE = 32768;
    static constexpr std::uint32_t MAX_TEXT_CHARS = 259;
    static constexpr std::uint32_t MAX_CLASS_NAME = 255;
    static constexpr std::uint32_t HEADER_LINE_CAPACITY = 128;

    enum ErrorCode : std::uint32_t
    {
        ERROR_NONE = 0,
        ERROR_CANNOT_OPEN = 1,
        ERROR_NOT_NIF = 2,
        ERROR_TOO_OLD = 3,
        ERROR_UNKNOWN_VERSION = 4,
        ERROR_NO_CREATE_FUNCTION = 5,
        ERROR_CORRUPT = 6,
    };

    // Background-load status. Nothing starts a loader thread, so a pause
    // request is noted (PAUSED) and the load goes on; a stop ends it.
    enum LoadStatus : std::uint32_t
    {
        STATUS_RUNNING = 0,
        STATUS_STOP = 2,
        STATUS_PAUSE = 3,
        STATUS_PAUSED = 4,
    };

    NiObjectStream();
    virtual ~NiObjectStream();
    NiObjectStream(const NiObjectStream&) = delete;
    NiObjectStream& operator=(const NiObjectStream&) = delete;

    // ---- Loading and saving ----
    [[nodiscard]] virtual bool LoadByteStream(NiByteStream* pkIstr);
    [[nodiscard]] virtual bool LoadBuffer(const void* pvBuffer, std::uint32_t uiSize);
    [[nodiscard]] virtual bool LoadFile(const char* pcPath);
    // False when the output did not take every byte.
    [[nodiscard]] virtual bool SaveByteStream(NiByteStream* pkOstr);
    // The buffer then belongs to the caller.
    [[nodiscard]] virtual bool SaveBuffer(std::unique_ptr<std::uint8_t[]>& spBuffer, std::uint32_t& uiSize);
    // False when the file cannot be opened (no error code) or a write or the
    // final flush fails.
    [[nodiscard]] virtual bool SaveFile(const char* pcPath);
    virtual void Reserved() {}

    // ---- The object table ----
    // False when the object is registered already (or null).
    virtual bool RegisterObject(NiObject* pkObject);
    // Puts pkObject where the object being read stands (an old record that
    // turns into another class). The old object lives until its read ends.
    virtual void ReplaceCurrentObject(NiObject* pkObject);
    [[nodiscard]] virtual std::uint32_t GetLinkIndex(const NiObject* pkObject) const;
    virtual void WriteLinkID(const NiObject* pkObject);
    [[nodiscard]] virtual bool ReadHeader();
    virtual void WriteHeader();
    [[nodiscard]] virtual bool ReadObjects();
    [[nodiscard]] virtual bool WriteObjects();
    virtual void RegisterTopObjects();
    [[nodiscard]] virtual bool ReadTopObjects();
    virtual void WriteTopObjects();
    [[nodiscard]] virtual bool ReadOldObject();

    // ---- What records use while they are read ----
    // Queues a link index for the link pass; returns its queue position.
    std::uint32_t ReadLinkID();
    // A u32 count (checked against the bytes left) and that many links;
    // gives the count (0 after a failure).
    std::uint32_t ReadLinkIDList();
    void QueueLinkCount(std::uint32_t uiCount);
    // The next queued link's object (null for the null link). A link beyond
    // the file's objects, or an empty queue, marks the load corrupt.
    NiObject* GetLinkedObject();
    // The same, and the object must be of class T (or derive from it): a
    // link to anything else marks the load corrupt and gives null.
    template <class T>
    T* GetLinkedObjectAs()
    {
        NiObject* pkObject = GetLinkedObject();
        if (pkObject == nullptr)
            return nullptr;
        T* pkTyped = NiDynamicCast<T>(pkObject);
        if (pkTyped == nullptr)
            SetCorrupt();
        return pkTyped;
    }
    std::uint32_t GetNextLinkCount();
    // For a record that resolves many links at once: the next uiCount
    // queued link indices, taken from the queue, or null (nothing taken)
    // when fewer are queued.
    [[nodiscard]] const std::uint32_t* TakeLinkIDs(std::uint32_t uiCount);
    // The object of one such link if it is of class pkType (or derives from
    // it); null for the null link. A link beyond the file's objects or to
    // an object of another class marks the load corrupt and gives null.
    [[nodiscard]] NiObject* GetLinkedObject(std::uint32_t uiLink, const NiTypeInfo* pkType);
    // For an owner that links a link-free object (NiTypeInfo::IsLinkFree)
    // in the link pass while the load counts privately (CountsPrivately):
    // true when the owner takes over the table's reference to it instead
    // of counting one of its own; the table then leaves the object alone,
    // as it does those it lets go of in the link pass (see ReadObjects).
    // False, with nothing changed, in any other case.
    [[nodiscard]] bool TakeOverTableReference(std::uint32_t uiLink);
    // Reads a link and gives its (already created) object at once.
    NiObject* ReadObjectRef();

    // Little-endian fields of the record being read or written. Failure is
    // sticky: after a short read every further read fails too, and the
    // value is left as it was.
    template <class T>
    bool ReadLE(T& v);
    bool ReadLE(float* pf, std::uint32_t n);
    template <class T>
    void WriteLE(T v)
    {
        (void)NiWriteLE(*GetOutStream(), v);
    }
    void WriteLE(const float* pf, std::uint32_t n) { (void)NiWriteLE(*GetOutStream(), pf, n); }
    bool ReadBytes(void* pvBuffer, std::uint32_t uiBytes);
    // The next uiBytes of the record in one bounds check, or null (the load
    // then fails) when fewer are left.
    [[nodiscard]] const std::uint8_t* TakeBytes(std::uint64_t uiBytes);
    void WriteBytes(const void* pvBuffer, std::uint32_t uiBytes);
    // Reads a u32 count of elements of uiElementBytes each; a count the
    // bytes left cannot hold marks the load corrupt and gives false (and 0).
    bool ReadCount(std::uint32_t& uiCount, std::uint32_t uiElementBytes);
    // u32 length and the bytes; null for length 0 or a length with the top
    // bit set. The caller owns the new[] string.
    [[nodiscard]] char* ReadString();
    // The same text, kept with the load's other objects (NiLoadArena::Free
    // releases it).
    [[nodiscard]] NiArenaString ReadArenaString();
    // Null writes length 0.
    void WriteString(const char* pcText);
    // ReadArenaString for every case, the failures included.
    [[nodiscard]] NiArenaString ReadArenaStringChecked();

    [[nodiscard]] std::uint64_t GetBytesLeft() const;
    // NiObject's part of a record (NiObject::ReadFromStream), inline for
    // the classes whose records come by the ten thousand: files from
    // 5.0.0.6 up to 10.1.0.114 carry an allocation-group index, which
    // ReadBlockGroupIndex reads.
    void ReadObjectPart(NiObject& kObject);
    void ReadBlockGroupIndex(NiObject& kObject);
    // Marks the load corrupt: it fails with ERROR_CORRUPT at the next check.
    void SetCorrupt() { m_bCorrupt = true; }
    [[nodiscard]] bool IsCorrupt() const;
    // Objects of the file being read: the bound for any walk along links.
    [[nodiscard]] std::uint32_t GetFileObjectCount() const { return m_uiFileObjectCount; }
    // Whether the objects of the load in progress are still its own alone:
    // none of them went onto an instance list (the only way another thread
    // finds an object it was not handed) and none was replaced by an object
    // from elsewhere. Until the load returns, their counts may then change
    // without locked instructions (NiRefObject::IncRefCountPrivate). False
    // when no load runs.
    [[nodiscard]] bool CountsPrivately() const;

    // ---- Top-level objects ----
    void InsertTopObject(NiObject* pkObject);
    void RemoveAllTopObjects();
    [[nodiscard]] std::uint32_t GetObjectCount() const { return static_cast<std::uint32_t>(m_kTopObjects.size()); }
    [[nodiscard]] NiObject* GetObjectAt(std::uint32_t uiIndex) const;

    // ---- Allocation groups ----
    // Group of a file's group index; index 0 and unknown indices give null.
    [[nodiscard]] NiBlockGroup* GetBlockGroup(std::uint32_t uiIndex) const;
    [[nodiscard]] std::uint32_t GetBlockGroupCount() const { return static_cast<std::uint32_t>(m_kGroups.size()); }
    // 0 when absent. While a save runs: the group's place in the table that
    // save writes; otherwise its place in the table of the last load.
    [[nodiscard]] std::uint32_t GetBlockGroupIndex(const NiBlockGroup* pkGroup) const;

    // ---- Shared textures and the search path ----
    void AddSharedTexture(const char* pcName, NiObject* pkTexture);
    // The hit comes with a reference (a texture found among every live one
    // may lose its other owners meanwhile).
    [[nodiscard]] NiObjectPtr FindSharedTexture(const char* pcName, const NiObject* pkLoading);
    [[nodiscard]] NiSharedTextureTable* GetSharedTextureTable() const;
    [[nodiscard]] NiFileSearchPath* GetSearchPath() const { return m_spSearchPath.get(); }
    [[nodiscard]] const std::string& GetFileName() const { return m_kFileName; }

    // ---- State of the record being read ----
    [[nodiscard]] std::uint32_t GetFileVersion() const { return m_uiFileVersion; }
    void SetFileVersion(std::uint32_t uiVersion) { m_uiFileVersion = uiVersion; }
    [[nodiscard]] std::uint32_t GetUserVersion() const { return m_uiUserVersion; }
    // The stream the record reads from (bounded: it knows the bytes left) or
    // writes to.
    [[nodiscard]] NiByteStream* GetInStream() const;
    [[nodiscard]] NiByteStream* GetOutStream() const;
    // Class name of the record being read (old files and class-table files).
    [[nodiscard]] const char* GetCurrentClassName() const { return m_pcCurrentClass; }
    // Flags of the positioned object being read from files before 10.0.1.2,
    // after their conversions; the raw u16 as read beside them.
    [[nodiscard]] std::uint16_t GetSavedObjectFlags() const { return m_usSavedObjectFlags; }
    void SetSavedObjectFlags(std::uint16_t us) { m_usSavedObjectFlags = us; }
    [[nodiscard]] std::uint16_t GetRawObjectFlags() const { return m_usRawObjectFlags; }
    void SetRawObjectFlags(std::uint16_t us) { m_usRawObjectFlags = us; }
    // The old property flags word (files before 10.0.1.2).
    [[nodiscard]] std::uint16_t GetSavedPropertyFlags() const { return m_usSavedPropertyFlags; }
    void SetSavedPropertyFlags(std::uint16_t us) { m_usSavedPropertyFlags = us; }

    [[nodiscard]] std::uint32_t GetLoadStatus() const { return m_uiStatus; }
    void SetLoadStatus(std::uint32_t uiStatus) { m_uiStatus = uiStatus; }

    // Kept until the next failure; a success does not clear them.
    [[nodiscard]] std::uint32_t GetLastError() const { return m_uiError; }
    [[nodiscard]] const std::string& GetLastErrorMessage() const { return m_kErrorText; }

    // ---- Process-wide tables ----
    // The create-function table and post-load callback list, alive from the
    // core start-up to its shut-down.
    static void StaticInit();
    static void StaticShutdown();
    // Frees the file buffer kept for the next load (the shut-down does too).
    static void ReleaseKeptMemory();
    [[nodiscard]] static bool IsStaticInitialized();
    // The table keeps the caller's name pointer: names must outlive entries.
    static bool RegisterCreateFunction(const char* pcClassName, NiCreateFunction pfnCreate);
    static bool UnregisterCreateFunction(const char* pcClassName);
    [[nodiscard]] static NiCreateFunction GetCreateFunction(const char* pcClassName);
    [[nodiscard]] static NiObject* CreateObjectByName(const char* pcClassName);
    // Bucket of a class name in the create-function table.
    [[nodiscard]] static std::uint32_t GetCreateFunctionBucket(const char* pcClassName);
    static void RegisterPostLoadCallback(NiPostLoadCallback pfnCallback);
    static void UnregisterPostLoadCallback(NiPostLoadCallback pfnCallback);
    [[nodiscard]] static const NiSparsePtrArray<NiPostLoadCallback>* GetPostLoadCallbacks();
    // Null removes it.
    static void SetOldUpdateFlagFix(NiOldUpdateFlagFix pfnFix);

    class Reader;
    class Writer;

protected:
    void SetError(std::uint32_t uiCode, const std::string& kText);
    // ReadLinkIDList for every case, the failures included.
    std::uint32_t ReadLinkIDListChecked();
    // Empties the object table and queues (and, after a failure, the
    // top-level list and groups). bPrivate: see ReleaseObjectTable.
    void EndLoad(bool bSucceeded, bool bPrivate = false);
    // Lets go of the table's references, first to last; bPrivate when no
    // other thread can hold any of the objects (CountsPrivately, and no
    // post-load callback could have handed one out).
    void ReleaseObjectTable(bool bPrivate);
    // Whether the table's reference to its object at uiIndex was let go in
    // the link pass.
    [[nodiscard]] bool IsReleased(std::size_t uiIndex) const
    {
        return uiIndex < m_kLinkWork.size() && m_kLinkWork[uiIndex] == WORK_RELEASED;
    }
    // Objects ahead in a pass over the table are fetched this far ahead.
    static constexpr std::size_t PREFETCH_AHEAD = 32;
    // The same in the post-link pass, which visits fewer objects with more
    // bytes between them.
    static constexpr std::size_t POST_LINK_AHEAD = 8;
    void PrefetchObject(std::size_t uiIndex) const;
    // Sets the corrupt-file error; the load's guard cleans up.
    [[nodiscard]] bool Corrupt();
    [[nodiscard]] bool ReadClassTable();
    // Makes the objects of the class table up to and including uiIndex; false
    // (ERROR_NO_CREATE_FUNCTION set) when a create function gives null.
    [[nodiscard]] bool CreateObjectsThrough(std::uint32_t uiIndex);
    // Makes the object of the next table position.
    [[nodiscard]] bool CreateNextObject();
    // The top-level list from the links ReadTopObjects read.
    void FillTopObjects();
    [[nodiscard]] bool ReadGroupTable();
    void WriteClassTable();
    void WriteGroupTable();
    // A class name record: u32 length and the bytes; lengths beyond 255 are
    // refused with ERROR_NO_CREATE_FUNCTION.
    [[nodiscard]] bool ReadClassName(std::string& kName);
    [[nodiscard]] bool CheckStatus();

    std::uint32_t m_uiFileVersion = CURRENT_VERSION;
    std::uint32_t m_uiUserVersion = 0;
    std::string m_kFileName;
    std::unique_ptr<NiFileSearchPath> m_spSearchPath;

    // The load's table: a counted reference to each object made, until
    // the load ends. An entry that is link-free (WORK_LINK_FREE) and whose
    // owner took over the table's reference (TakeOverTableReference, or the
    // link pass's own release: WORK_RELEASED) is held here through a pointer
    // that no longer counts: the owner's reference keeps it alive. That is
    // safe only while no link or post-link step lets go of such an entry
    // (removes or replaces an owner's entry, frees an owner) before the load
    // ends; a step that did would leave the table pointing at freed memory,
    // which its release and the top-level list then touch.
    std::vector<NiObjectPtr> m_kObjects;
    // What the link passes do with each object of the load in progress (one
    // per m_kObjects entry), and per class-table entry what its objects need
    // (CLASS_UNKNOWN until the first is made).
    enum LinkWork : std::uint8_t
    {
        WORK_LINKED = 0,    // ResolveLinks and PostLink are called
        WORK_LINK_FREE = 1, // passed by (NiTypeInfo::IsLinkFree)
        // Passed by, and the table's reference already let go: the entry
        // is not to be touched again (see ReadObjects).
        WORK_RELEASED = 2,
        // Link-free, and a top object: passed by, the table's reference
        // kept for the top-level list.
        WORK_KEPT = 3,
        // The table's reference went to the top-level list.
        WORK_TRANSFERRED = 4,
        CLASS_UNKNOWN = 0xFF,
    };
    std::vector<std::uint8_t> m_kLinkWork;
    std::vector<std::uint8_t> m_kClassWork;
    // The class of each class-table entry's objects (null until the first
    // is made): a link's class without asking its object.
    std::vector<const NiTypeInfo*> m_kClassTypes;
    // The top-level links read, until the link pass is over.
    std::vector<std::uint32_t> m_kTopLinks;
    // Table positions of the objects the post-link pass calls, in order;
    // then of those whose references the table still holds at its release.
    std::vector<std::uint32_t> m_kPostLinked;
    std::vector<NiObjectPtr> m_kTopObjects;
    std::uint32_t m_uiFileObjectCount = 0;
    NiObjectPtr m_spReplaced;
    // This thread's instance-list appends when the load began, and whether
    // a record put another object in its place (see CountsPrivately).
    std::uint64_t m_uiListAppendsAtStart = 0;
    bool m_bObjectReplaced = false;

    std::unique_ptr<Reader> m_spReader;
    // The memory of the load in progress (the load's own reference).
    NiLoadArena* m_pkArena = nullptr;
    std::unique_ptr<Writer> m_spWriter;

    std::vector<std::uint32_t> m_kLinks;
    std::uint32_t m_uiLinkRead = 0;
    std::vector<std::uint32_t> m_kCounts;
    std::uint32_t m_uiCountRead = 0;

    std::unordered_map<const NiObject*, std::uint32_t> m_kRegisterMap;
    std::vector<std::unique_ptr<NiBlockGroup>> m_kGroups;
    // The groups of the save in progress, by address only (see
    // WriteGroupTable).
    std::vector<const NiBlockGroup*> m_kSaveGroups;
    NiRefPtr<NiSharedTextureTable> m_spSharedTextures;

    const char* m_pcCurrentClass = nullptr;
    std::vector<std::string> m_kClassNames;
    std::vector<std::uint16_t> m_kClassIndices;
    std::vector<NiCreateFunction> m_kCreate;
    bool m_bCreateFailed = false;
    std::string m_kCurrentClassName;
    std::uint16_t m_usSavedObjectFlags = 0;
    std::uint16_t m_usRawObjectFlags = 0;
    std::uint16_t m_usSavedPropertyFlags = 0;

    std::uint32_t m_uiStatus = STATUS_RUNNING;
    std::uint32_t m_uiLoadPos = 0;
    std::uint32_t m_uiLinkPos = 0;
    std::uint32_t m_uiPostLinkPos = 0;
    bool m_bCorrupt = false;

    std::uint32_t m_uiError = ERROR_NONE;
    std::string m_kErrorText;
};

// The input as records see it: the file's bytes in memory. It knows how
// many are left, refuses any read beyond them and remembers the first short
// read, so no count from the file can make a reader wait on or allocate for
// bytes that are not there.
class NiObjectStream::Reader final : public NiByteStream
{
public:
    Reader(const std::uint8_t* pucBytes, std::uint64_t uiLeft) : m_pucNext(pucBytes), m_pucEnd(pucBytes + uiLeft) {}

    [[nodiscard]] bool IsGood() const override { return !m_bFailed; }
    std::uint32_t Read(void* pvBuffer, std::uint32_t uiBytes) override
    {
        const std::uint8_t* puc = Take(uiBytes);
        if (puc == nullptr)
            return 0;
        if (uiBytes > 0)
            std::memcpy(pvBuffer, puc, uiBytes);
        return uiBytes;
    }
    std::uint32_t Write(const void*, std::uint32_t) override { return 0; }

    // The next uiBytes, or null (and failed from then on) when fewer are
    // left: one bounds check for a whole record or array.
    [[nodiscard]] const std::uint8_t* Take(std::uint64_t uiBytes)
    {
        if (m_bFailed || uiBytes > GetLeft())
        {
            m_bFailed = true;
            return nullptr;
        }
        const std::uint8_t* puc = m_pucNext;
        m_pucNext += uiBytes;
        return puc;
    }
    // What Peek showed is consumed. Moving past the bytes Peek promised is
    // the caller's bug, never the file's.
    [[nodiscard]] const std::uint8_t* Peek() const { return m_pucNext; }
    void Advance(std::uint64_t uiBytes)
    {
        assert(uiBytes <= GetLeft() && "a reader position past its end");
        m_pucNext += uiBytes;
    }

    [[nodiscard]] std::uint64_t GetLeft() const
    {
        assert(m_pucNext <= m_pucEnd && "a reader position past its end");
        return static_cast<std::uint64_t>(m_pucEnd - m_pucNext);
    }
    [[nodiscard]] bool Failed() const { return m_bFailed; }

private:
    const std::uint8_t* m_pucNext;
    const std::uint8_t* m_pucEnd;
    bool m_bFailed = false;
};

static_assert(std::endian::native == std::endian::little, "records are copied as they are stored");

template <class T>
bool NiObjectStream::ReadLE(T& v)
{
    static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, "stored fields only");
    assert(m_spReader != nullptr && "a record read with no load running");
    const std::uint8_t* puc = m_spReader->Take(sizeof(T));
    if (puc == nullptr)
        return false;
    std::memcpy(&v, puc, sizeof(T));
    return true;
}

inline bool NiObjectStream::ReadLE(float* pf, std::uint32_t n)
{
    assert(m_spReader != nullptr && "a record read with no load running");
    const std::uint8_t* puc = m_spReader->Take(std::uint64_t{n} * 4);
    if (puc == nullptr)
        return false;
    if (n > 0)
        std::memcpy(pf, puc, std::size_t{n} * 4);
    return true;
}

// A load reads a text for nearly every object: the common case (a length
// that fits the bytes left, then the text) is one check and one copy.
// Anything else takes ReadArenaStringChecked, which reads it as ever.
inline NiArenaString NiObjectStream::ReadArenaString()
{
    assert(m_spReader != nullptr && "a record read with no load running");
    Reader& kReader = *m_spReader;
    std::uint64_t uiLeft = kReader.GetLeft();
    if (!kReader.Failed() && uiLeft >= 4)
    {
        const std::uint8_t* puc = kReader.Peek();
        std::uint32_t uiLength;
        std::memcpy(&uiLength, puc, 4);
        if (uiLength != 0 && (uiLength & 0x80000000u) == 0 && uiLength <= uiLeft - 4)
        {
            auto* pc = static_cast<char*>(NiLoadArena::AllocateData(std::size_t{uiLength} + 1));
            NiCopyShortText(pc, puc + 4, uiLength);
            pc[uiLength] = '\0';
            kReader.Advance(std::uint64_t{uiLength} + 4);
            return NiArenaString(pc);
        }
    }
    return ReadArenaStringChecked();
}

// Records read links and counts by the ten thousand: inline.
inline std::uint32_t NiObjectStream::ReadLinkID()
{
    std::uint32_t uiLink = NULL_LINK;
    if (!ReadLE(uiLink))
        SetCorrupt();
    m_kLinks.push_back(uiLink);
    return static_cast<std::uint32_t>(m_kLinks.size() - 1);
}

inline bool NiObjectStream::ReadCount(std::uint32_t& uiCount, std::uint32_t uiElementBytes)
{
    uiCount = 0;
    std::uint32_t uiRead = 0;
    if (!ReadLE(uiRead))
        return false;
    if (uiElementBytes > 0 && uiRead > m_spReader->GetLeft() / uiElementBytes)
    {
        SetCorrupt();
        return false;
    }
    uiCount = uiRead;
    return true;
}

// Nearly every named object reads a list of links: the common case (a
// count the bytes left hold, then the links) is one check and one copy.
inline std::uint32_t NiObjectStream::ReadLinkIDList()
{
    assert(m_spReader != nullptr && "a record read with no load running");
    Reader& kReader = *m_spReader;
    std::uint64_t uiLeft = kReader.GetLeft();
    if (!kReader.Failed() && uiLeft >= 4)
    {
        const std::uint8_t* puc = kReader.Peek();
        std::uint32_t uiCount;
        std::memcpy(&uiCount, puc, 4);
        if (uiCount > 0 && uiCount <= (uiLeft - 4) / 4)
        {
            m_kCounts.push_back(uiCount);
            std::size_t uiOld = m_kLinks.size();
            m_kLinks.resize(uiOld + uiCount);
            std::memcpy(m_kLinks.data() + uiOld, puc + 4, std::size_t{uiCount} * 4);
            kReader.Advance(std::uint64_t{uiCount} * 4 + 4);
            return uiCount;
        }
    }
    return ReadLinkIDListChecked();
}

inline NiObject* NiObjectStream::GetLinkedObject()
{
    if (m_uiLinkRead >= m_kLinks.size())
    {
        SetCorrupt();
        return nullptr;
    }
    std::uint32_t uiLink = m_kLinks[m_uiLinkRead++];
    if (uiLink == NULL_LINK)
        return nullptr;
    if (uiLink >= m_kObjects.size())
    {
        SetCorrupt();
        return nullptr;
    }
    return m_kObjects[uiLink].Get();
}

inline void NiObjectStream::ReadObjectPart(NiObject& kObject)
{
    if (m_uiFileVersion >= NiStreamVersion(5, 0, 0, 6) && m_uiFileVersion < NiStreamVersion(10, 1, 0, 114))
        ReadBlockGroupIndex(kObject);
}

inline const std::uint32_t* NiObjectStream::TakeLinkIDs(std::uint32_t uiCount)
{
    if (uiCount > m_kLinks.size() - m_uiLinkRead)
        return nullptr;
    const std::uint32_t* puiLinks = m_kLinks.data() + m_uiLinkRead;
    m_uiLinkRead += uiCount;
    return puiLinks;
}

inline NiObject* NiObjectStream::GetLinkedObject(std::uint32_t uiLink, const NiTypeInfo* pkType)
{
    if (uiLink == NULL_LINK)
        return nullptr;
    if (uiLink >= m_kObjects.size())
    {
        SetCorrupt();
        return nullptr;
    }
    NiObject* pkObject = m_kObjects[uiLink].Get();
    if (pkObject == nullptr)
        return nullptr;
    // An object of a class-table entry is of the class the entry's first
    // object showed (one create function, one class), unless a record put
    // another object in some place.
    const NiTypeInfo* pkClass = nullptr;
    if (!m_bObjectReplaced && uiLink < m_kClassIndices.size())
        pkClass = m_kClassTypes[m_kClassIndices[uiLink]];
    if (pkClass == nullptr)
        pkClass = pkObject->GetTypeInfo();
    if (pkClass == nullptr || !pkClass->IsKindOf(pkType))
    {
        SetCorrupt();
        return nullptr;
    }
    return pkObject;
}

inline bool NiObjectStream::TakeOverTableReference(std::uint32_t uiLink)
{
    // m_kLinkWork has an entry for every object from the link pass on.
    if (uiLink >= m_kLinkWork.size() || m_kLinkWork.size() != m_kObjects.size() ||
        m_kLinkWork[uiLink] != WORK_LINK_FREE)
        return false;
    m_kLinkWork[uiLink] = WORK_RELEASED;
    return true;
}

inline const std::uint8_t* NiObjectStream::TakeBytes(std::uint64_t uiBytes)
{
    assert(m_spReader != nullptr && "a record read with no load running");
    return m_spReader->Take(uiBytes);
}
