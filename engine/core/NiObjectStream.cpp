#include "engine/core/NiObjectStream.h"

#include "engine/core/NiBufferedFile.h"
#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiFile.h"
#include "engine/core/NiFileSearchPath.h"
#include "engine/core/NiHashMap.h"
#include "engine/core/NiInstanceList.h"
#include "engine/core/NiListNodePool.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiSharedTextureTable.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <mutex>
#include <string_view>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace
{
// The table's bucket hash: h * 33 + c over the name's bytes taken as signed
// chars, in unsigned 32-bit arithmetic.
class NiCreateFunctionTable : public NiStringHashMap<void>
{
public:
    NiCreateFunctionTable() : NiStringHashMap<void>(NiObjectStream::CREATE_TABLE_BUCKETS, false) {}
};

NiCreateFunctionTable* s_pkCreateTable = nullptr;
NiSparsePtrArray<NiPostLoadCallback>* s_pkPostLoad = nullptr;
NiOldUpdateFlagFix s_pfnOldFlagFix = nullptr;

constexpr const char* CORRUPT_TEXT = "Corrupt scene file.";
constexpr std::uint32_t SLURP_CHUNK = 65536;
// The class name part of a missing-class message, in characters.
constexpr std::size_t MAX_SHOWN_NAME = 64;

// A file's bytes while its load runs. Filled by the read at once: not
// zeroed first (megabytes for a level).
struct UnsetByte
{
    std::uint8_t m_uc;
    UnsetByte() {} // NOLINT: left unset on purpose
};
static_assert(sizeof(UnsetByte) == 1);
using ReadBuffer = std::vector<UnsetByte>;

// The last load's file buffer, kept for the next one: files are loaded one
// after another, and a buffer the previous load warmed takes the next
// file's bytes faster than fresh memory. One buffer of at most
// MAX_KEPT_READ_BUFFER bytes; a load running beside another makes its own.
constexpr std::size_t MAX_KEPT_READ_BUFFER = std::size_t{32} << 20;
std::mutex s_kReadBufferMutex;
ReadBuffer s_kReadBuffer;

ReadBuffer TakeReadBuffer()
{
    std::lock_guard<std::mutex> kLock(s_kReadBufferMutex);
    ReadBuffer kBuffer = std::move(s_kReadBuffer);
    s_kReadBuffer = ReadBuffer();
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(kBuffer.data(), kBuffer.capacity());
#endif
    return kBuffer;
}

void KeepReadBuffer(ReadBuffer&& kBuffer)
{
    if (kBuffer.capacity() > MAX_KEPT_READ_BUFFER)
        return;
    kBuffer.clear();
#if defined(__SANITIZE_ADDRESS__)
    // Bytes of a load that ended: nothing may read them any more.
    ASAN_POISON_MEMORY_REGION(kBuffer.data(), kBuffer.capacity());
#endif
    std::lock_guard<std::mutex> kLock(s_kReadBufferMutex);
    if (kBuffer.capacity() >= s_kReadBuffer.capacity())
        std::swap(s_kReadBuffer, kBuffer);
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(kBuffer.data(), kBuffer.capacity());
#endif
}

// The message for a class the table cannot create. A name from a damaged
// file may hold any byte: a NUL would end the text early for a C-string
// reader such as the message box, and a long name would push the
// explanation past the message's length limit. So only printable bytes
// are shown as they are, the others as \xNN, and the name is cut short.
std::string NoCreateFunctionText(std::string_view kName)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string kText;
    kText.reserve(MAX_SHOWN_NAME + 32);
    for (char c : kName)
    {
        auto uc = static_cast<unsigned char>(c);
        bool bPrintable = uc >= 0x20 && uc < 0x7F;
        std::size_t uiWidth = bPrintable ? 1 : 4;
        if (kText.size() + uiWidth > MAX_SHOWN_NAME)
            break;
        if (bPrintable)
        {
            kText.push_back(c);
        }
        else
        {
            kText += "\\x";
            kText.push_back(HEX[uc >> 4]);
            kText.push_back(HEX[uc & 0xF]);
        }
    }
    kText += ": cannot find create function.";
    return kText;
}
} // namespace

// The output as records see it: the first short write is remembered, so a
// save into a full disk reports failure.
class NiObjectStream::Writer : public NiByteStream
{
public:
    explicit Writer(NiByteStream& kTarget) : m_kTarget(kTarget) {}

    [[nodiscard]] bool IsGood() const override { return !m_bFailed && m_kTarget.IsGood(); }
    std::uint32_t Read(void*, std::uint32_t) override { return 0; }
    std::uint32_t Write(const void* pvBuffer, std::uint32_t uiBytes) override
    {
        if (m_bFailed)
            return 0;
        std::uint32_t uiWritten = m_kTarget.Write(pvBuffer, uiBytes);
        if (uiWritten != uiBytes)
            m_bFailed = true;
        return uiWritten;
    }

private:
    NiByteStream& m_kTarget;
    bool m_bFailed = false;
};

NiObjectStream::NiObjectStream()
    : m_spSearchPath(std::make_unique<NiFileSearchPath>()), m_spSharedTextures(new NiSharedTextureTable)
{
}

NiObjectStream::~NiObjectStream()
{
    RemoveAllTopObjects();
    NiRecursiveLockGuard kGuard(NiStreamLoadLock());
    m_kObjects.clear();
    m_spReplaced.Clear();
}

// ---- Loading ----

bool NiObjectStream::LoadByteStream(NiByteStream* pkIstr)
{
    if (pkIstr == nullptr || !pkIstr->IsGood())
        return false;

    // Records are read from memory: a memory stream's own bytes, else the
    // rest of the input read in one go (a file's size is known up front).
    ReadBuffer kCopy;
    const std::uint8_t* pucBytes = nullptr;
    std::uint64_t uiLeft = 0;
    if (auto* pkMemory = dynamic_cast<NiMemoryStream*>(pkIstr); pkMemory != nullptr && pkMemory->GetBuffer())
    {
        pucBytes = pkMemory->GetBuffer() + pkMemory->GetPosition();
        uiLeft = pkMemory->GetBytesLeft();
    }
    else
    {
        std::uint64_t uiExpected = 0;
        if (auto* pkFile = dynamic_cast<NiBufferedFile*>(pkIstr))
        {
            std::uint64_t uiSize = pkFile->GetSize();
            std::uint64_t uiPos = pkFile->GetPosition();
            uiExpected = uiSize > uiPos ? uiSize - uiPos : 0;
        }
        std::uint64_t uiChunk = uiExpected > 0 ? uiExpected + 1 : SLURP_CHUNK;
        kCopy = TakeReadBuffer();
        for (;;)
        {
            std::size_t uiOld = kCopy.size();
            std::uint32_t uiAsk = static_cast<std::uint32_t>(std::min<std::uint64_t>(uiChunk, 0x40000000u));
            kCopy.resize(uiOld + uiAsk);
            std::uint32_t uiRead = pkIstr->Read(kCopy.data() + uiOld, uiAsk);
            kCopy.resize(uiOld + uiRead);
            if (uiRead < uiAsk || kCopy.size() > 0xFFFFFFFFu - SLURP_CHUNK)
                break;
            uiChunk = SLURP_CHUNK;
        }
        pucBytes = reinterpret_cast<const std::uint8_t*>(kCopy.data());
        uiLeft = kCopy.size();
    }

    m_spReader = std::make_unique<Reader>(pucBytes, uiLeft);
    bool bResult = ReadObjects();
    m_spReader.reset();
    if (kCopy.capacity() > 0)
        KeepReadBuffer(std::move(kCopy));
    return bResult;
}

bool NiObjectStream::LoadBuffer(const void* pvBuffer, std::uint32_t uiSize)
{
    NiMemoryStream kView(pvBuffer, uiSize);
    return LoadByteStream(&kView);
}

bool NiObjectStream::LoadFile(const char* pcPath)
{
    m_kFileName = pcPath ? pcPath : "";
    if (m_kFileName.size() > MAX_TEXT_CHARS)
        m_kFileName.resize(MAX_TEXT_CHARS);
    m_spSearchPath->SetReferencePath(pcPath);

    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcPath, NiBufferedFile::READ_ONLY, FILE_BUFFER_SIZE);
    if (spFile == nullptr || !spFile->IsGood())
    {
        SetError(ERROR_CANNOT_OPEN, "Cannot open file.");
        RemoveAllTopObjects();
        return false;
    }
    return LoadByteStream(spFile.get());
}

void NiObjectStream::SetError(std::uint32_t uiCode, const std::string& kText)
{
    m_uiError = uiCode;
    m_kErrorText = kText.size() > MAX_TEXT_CHARS ? kText.substr(0, MAX_TEXT_CHARS) : kText;
}

bool NiObjectStream::CheckStatus()
{
    if (m_uiStatus == STATUS_STOP)
        return false;
    // Nothing in the system runs a loader thread that another thread could
    // resume, so a pause request is acknowledged and the load goes on.
    if (m_uiStatus == STATUS_PAUSE)
        m_uiStatus = STATUS_PAUSED;
    return true;
}

bool NiObjectStream::IsCorrupt() const
{
    return m_bCorrupt || (m_spReader != nullptr && m_spReader->Failed());
}

std::uint64_t NiObjectStream::GetBytesLeft() const
{
    return m_spReader ? m_spReader->GetLeft() : 0;
}

NiByteStream* NiObjectStream::GetInStream() const
{
    return m_spReader.get();
}

NiByteStream* NiObjectStream::GetOutStream() const
{
    return m_spWriter.get();
}

bool NiObjectStream::ReadHeader()
{
    char acLine[HEADER_LINE_CAPACITY];
    GetInStream()->ReadLine(acLine, HEADER_LINE_CAPACITY);
    if (std::strstr(acLine, "File Format") == nullptr)
    {
        SetError(ERROR_NOT_NIF, "Not a NIF file");
        return false;
    }

    std::uint32_t uiVersion = 0;
    if (!ReadLE(uiVersion))
    {
        SetError(ERROR_CORRUPT, CORRUPT_TEXT);
        return false;
    }
    if (uiVersion < OLDEST_VERSION)
    {
        SetError(ERROR_TOO_OLD, "NIF version is too old.");
        return false;
    }
    if (uiVersion > CURRENT_VERSION)
    {
        SetError(ERROR_UNKNOWN_VERSION, "Unknown NIF version.");
        return false;
    }
    m_uiFileVersion = uiVersion;

    m_uiUserVersion = 0;
    if (uiVersion >= NiStreamVersion(10, 0, 1, 8))
    {
        if (!ReadLE(m_uiUserVersion))
        {
            SetError(ERROR_CORRUPT, CORRUPT_TEXT);
            return false;
        }
        if (m_uiUserVersion != 0)
        {
            SetError(ERROR_UNKNOWN_VERSION, "Unknown NIF user defined version.");
            return false;
        }
    }

    // Each object needs at least its class index (or, in old files, its
    // class name's length) in what follows.
    std::uint32_t uiPerObject = uiVersion >= NiStreamVersion(5, 0, 0, 1) ? 2 : 4;
    std::uint32_t uiCount = 0;
    if (!ReadCount(uiCount, uiPerObject))
    {
        SetError(ERROR_CORRUPT, CORRUPT_TEXT);
        return false;
    }
    m_uiFileObjectCount = uiCount;
    m_kObjects.reserve(uiCount);
    m_kLinkWork.reserve(uiCount);
    return true;
}

bool NiObjectStream::ReadClassName(std::string& kName)
{
    std::uint32_t uiLength = 0;
    if (!ReadLE(uiLength))
    {
        SetError(ERROR_CORRUPT, CORRUPT_TEXT);
        return false;
    }
    // No class has a longer name; taking the file as well-formed would let
    // a name run into the records. What the file holds of it names it in
    // the error.
    if (uiLength > MAX_CLASS_NAME)
    {
        std::uint32_t uiShown = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(GetBytesLeft(), MAX_CLASS_NAME));
        kName.assign(uiShown, '\0');
        (void)ReadBytes(kName.data(), uiShown);
        SetError(ERROR_NO_CREATE_FUNCTION, NoCreateFunctionText(kName));
        return false;
    }
    kName.assign(uiLength, '\0');
    if (!ReadBytes(kName.data(), uiLength))
    {
        SetError(ERROR_CORRUPT, CORRUPT_TEXT);
        return false;
    }
    return true;
}

bool NiObjectStream::ReadClassTable()
{
    std::uint16_t usClasses = 0;
    if (!ReadLE(usClasses) || usClasses > GetBytesLeft() / 4)
        return Corrupt();
    m_kClassNames.assign(usClasses, std::string());
    for (std::string& kName : m_kClassNames)
    {
        if (!ReadClassName(kName))
            return false;
    }
    m_kCreate.assign(usClasses, nullptr);
    m_kClassWork.assign(usClasses, CLASS_UNKNOWN);
    m_kClassTypes.assign(usClasses, nullptr);
    for (std::uint16_t i = 0; i < usClasses; ++i)
    {
        m_kCreate[i] = GetCreateFunction(m_kClassNames[i].c_str());
        if (m_kCreate[i] == nullptr)
        {
            SetError(ERROR_NO_CREATE_FUNCTION, NoCreateFunctionText(m_kClassNames[i]));
            return false;
        }
    }

    // Every index is checked now; the objects are made as their records
    // come (see CreateObjectsThrough).
    const std::uint8_t* puc = TakeBytes(std::uint64_t{m_uiFileObjectCount} * 2);
    if (puc == nullptr)
        return Corrupt();
    m_kClassIndices.resize(m_uiFileObjectCount);
    if (m_uiFileObjectCount > 0)
        std::memcpy(m_kClassIndices.data(), puc, std::size_t{m_uiFileObjectCount} * 2);
    // The largest index decides (a loop the compiler runs many at a time).
    std::uint16_t usLargest = 0;
    for (std::uint16_t usIndex : m_kClassIndices)
        usLargest = std::max(usLargest, usIndex);
    if (!m_kClassIndices.empty() && usLargest >= usClasses)
        return Corrupt();
    return true;
}

// Made once per object of a class-table file: inline where the records are
// read.
[[gnu::always_inline]] inline bool NiObjectStream::CreateNextObject()
{
    std::uint16_t usClass = m_kClassIndices[m_kObjects.size()];
    NiObject* pkObject = m_kCreate[usClass]();
    if (pkObject == nullptr)
    {
        SetError(ERROR_NO_CREATE_FUNCTION, NoCreateFunctionText(m_kClassNames[usClass]));
        m_bCreateFailed = true;
        return false;
    }
    // A create function makes objects of the one class its name stands
    // for: the first object tells what the link passes do with all of them.
    std::uint8_t& ucWork = m_kClassWork[usClass];
    if (ucWork == CLASS_UNKNOWN)
    {
        const NiTypeInfo* pkType = pkObject->GetTypeInfo();
        ucWork = pkType != nullptr && pkType->IsLinkFree(m_uiFileVersion) ? WORK_LINK_FREE : WORK_LINKED;
        m_kClassTypes[usClass] = pkType;
    }
    pkObject->IncRefCountFirst();
    m_kObjects.push_back(NiObjectPtr::Adopt(pkObject));
    m_kLinkWork.push_back(ucWork);
    return true;
}

bool NiObjectStream::CreateObjectsThrough(std::uint32_t uiIndex)
{
    // An object is made just before its record is read, so it, its names and
    // its arrays lie together in the arena and the record is read while the
    // object is still in the cache. A record may ask for a later object at
    // once (ReadObjectRef): the objects up to it are made then, in order.
    while (m_kObjects.size() <= uiIndex)
    {
        if (!CreateNextObject())
            return false;
    }
    return true;
}

bool NiObjectStream::ReadGroupTable()
{
    std::uint32_t uiGroups = 0;
    if (!ReadCount(uiGroups, 4))
    {
        SetError(ERROR_CORRUPT, CORRUPT_TEXT);
        return false;
    }
    m_kGroups.reserve(uiGroups);
    for (std::uint32_t i = 0; i < uiGroups; ++i)
    {
        auto spGroup = std::make_unique<NiBlockGroup>();
        if (!ReadLE(spGroup->m_uiSize))
        {
            SetError(ERROR_CORRUPT, CORRUPT_TEXT);
            return false;
        }
        m_kGroups.push_back(std::move(spGroup));
    }
    return true;
}

bool NiObjectStream::ReadOldObject()
{
    if (!ReadClassName(m_kCurrentClassName))
        return false;
    m_pcCurrentClass = m_kCurrentClassName.c_str();
    NiCreateFunction pfnCreate = GetCreateFunction(m_pcCurrentClass);
    NiObject* pkObject = pfnCreate ? pfnCreate() : nullptr;
    if (pkObject == nullptr)
    {
        SetError(ERROR_NO_CREATE_FUNCTION, NoCreateFunctionText(m_kCurrentClassName));
        return false;
    }
    m_kObjects.emplace_back(pkObject);
    m_kLinkWork.push_back(WORK_LINKED);
    pkObject->ReadFromStream(*this);
    return true;
}

bool NiObjectStream::ReadTopObjects()
{
    std::uint32_t uiCount = 0;
    if (!ReadCount(uiCount, 4))
        return false;
    // The count was checked against the bytes left: the links in one go.
    const std::uint8_t* puc = uiCount > 0 ? TakeBytes(std::uint64_t{uiCount} * 4) : nullptr;
    if (uiCount > 0 && puc == nullptr)
        return false;
    // The list itself is filled after the link pass (FillTopObjects), from
    // the table's references: a top object is not touched here, many
    // objects after its record was read. Until then nothing may let go of
    // the table's reference to it.
    m_kTopLinks.resize(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        std::uint32_t uiLink;
        std::memcpy(&uiLink, puc + std::size_t{i} * 4, 4);
        if (uiLink != NULL_LINK && uiLink >= m_kObjects.size())
        {
            SetCorrupt();
            return false;
        }
        if (uiLink != NULL_LINK && uiLink < m_kLinkWork.size() && m_kLinkWork[uiLink] == WORK_LINK_FREE)
            m_kLinkWork[uiLink] = WORK_KEPT;
        m_kTopLinks[i] = uiLink;
    }
    return true;
}

void NiObjectStream::FillTopObjects()
{
    // The table's reference to a top object becomes the list's (nothing
    // counted, nothing touched); an object listed twice counts the second.
    m_kTopObjects.reserve(m_kTopObjects.size() + m_kTopLinks.size());
    for (std::uint32_t uiLink : m_kTopLinks)
    {
        if (uiLink == NULL_LINK)
        {
            m_kTopObjects.emplace_back(nullptr);
            continue;
        }
        NiObject* pkObject = m_kObjects[uiLink];
        std::uint8_t& ucWork = m_kLinkWork[uiLink];
        if (pkObject != nullptr && ucWork != WORK_TRANSFERRED && ucWork != WORK_RELEASED)
        {
            ucWork = WORK_TRANSFERRED;
            m_kTopObjects.push_back(NiObjectPtr::Adopt(pkObject));
        }
        else
        {
            m_kTopObjects.emplace_back(pkObject);
        }
    }
    m_kTopLinks.clear();
}

namespace
{
// A load's one cleanup: unless the load got to its end, whatever it made is
// let go (see EndLoad), whichever check stopped it.
class LoadGuard
{
public:
    explicit LoadGuard(std::function<void()> fnCleanup) : m_fnCleanup(std::move(fnCleanup)) {}
    ~LoadGuard()
    {
        if (!m_bSucceeded)
            m_fnCleanup();
    }
    LoadGuard(const LoadGuard&) = delete;
    LoadGuard& operator=(const LoadGuard&) = delete;
    void Succeeded() { m_bSucceeded = true; }

private:
    std::function<void()> m_fnCleanup;
    bool m_bSucceeded = false;
};

// The arena's first block: about what the objects of a file this size take
// (records grow by about half once in memory), so most loads need one block.
constexpr std::uint64_t ARENA_BYTES_PER_FILE_BYTE = 2;
} // namespace

void NiObjectStream::PrefetchObject(std::size_t uiIndex) const
{
    // The link passes visit every object a pass after it was last touched:
    // the object a few places ahead is fetched while this one is handled.
    if (uiIndex < m_kObjects.size())
        __builtin_prefetch(m_kObjects[uiIndex].Get());
}

bool NiObjectStream::Corrupt()
{
    SetError(ERROR_CORRUPT, CORRUPT_TEXT);
    return false;
}

bool NiObjectStream::ReadObjects()
{
    RemoveAllTopObjects();
    EndLoad(false);
    m_bCorrupt = false;
    m_bCreateFailed = false;
    m_bObjectReplaced = false;
    m_uiListAppendsAtStart = NiInstanceListThreadAppends();
    // The lists the records and links fill take their nodes from the pool
    // several at a time (the guard's cleanup runs inside this batch).
    NiListNodePool::Batch kNodes;
    LoadGuard kGuard([this] { EndLoad(false); });

    m_pkArena = NiLoadArena::Create(static_cast<std::size_t>(
        std::min<std::uint64_t>(GetBytesLeft() * ARENA_BYTES_PER_FILE_BYTE, std::uint64_t{1} << 30)));
    if (!ReadHeader())
        return false;
    m_uiLoadPos = 0;
    m_uiLinkPos = 0;
    m_uiPostLinkPos = 0;
    // Each link takes four bytes of the file.
    m_kLinks.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(GetBytesLeft() / 4, m_uiFileObjectCount * 4ull)));
    m_kCounts.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(GetBytesLeft() / 4, m_uiFileObjectCount * 4ull)));

    {
        // What the records make lives in the load's arena; what the link
        // checks and the callbacks after them make, on the heap.
        NiLoadArena::Scope kArena(m_pkArena);
        bool bOld = m_uiFileVersion < NiStreamVersion(5, 0, 0, 1);
        if (!bOld && !ReadClassTable())
            return false;
        if (m_uiFileVersion >= NiStreamVersion(5, 0, 0, 6) && !ReadGroupTable())
            return false;

        for (; m_uiLoadPos < m_uiFileObjectCount; ++m_uiLoadPos)
        {
            if (!CheckStatus())
                return false;
            if (bOld)
            {
                if (!ReadOldObject())
                    return false; // the error is set
            }
            else
            {
                // Made here unless an earlier record reached it already.
                if (m_uiLoadPos >= m_kObjects.size() && !CreateNextObject())
                    return false; // the error is set
                m_pcCurrentClass = m_kClassNames[m_kClassIndices[m_uiLoadPos]].c_str();
                // A record that replaces itself stays alive in m_spReplaced
                // until its read returns.
                if (NiObject* pkObject = m_kObjects[m_uiLoadPos])
                    pkObject->ReadFromStream(*this);
            }
            m_spReplaced.Clear();
            if (m_bCreateFailed)
                return false; // the error is set
            if (IsCorrupt())
                return Corrupt();
        }
        m_pcCurrentClass = nullptr;

        if (!ReadTopObjects() || IsCorrupt())
            return Corrupt();

        // One entry an object, whichever way the records put them there.
        m_kLinkWork.resize(m_kObjects.size(), WORK_LINKED);
        m_kPostLinked.clear();
        // Counts changed without locked instructions (bPrivate) are safe
        // only because no other thread can reach the load's objects before
        // the load ends: the instance lists are the only way out for an
        // object nobody handed over, and CountsPrivately turns false as soon
        // as one of the load's objects goes on one or a record puts an
        // object from elsewhere in its place.
        bool bPrivate = CountsPrivately();
        for (; m_uiLinkPos < m_kObjects.size(); ++m_uiLinkPos)
        {
            // Every object is touched in this pass, by its owner or here.
            PrefetchObject(m_uiLinkPos + PREFETCH_AHEAD);
            std::uint8_t& ucWork = m_kLinkWork[m_uiLinkPos];
            if (ucWork == WORK_RELEASED || ucWork == WORK_KEPT)
                continue; // an owner took over the table's reference, or a top object
            if (ucWork == WORK_LINK_FREE)
            {
                // A link-free object is linked by its owners, which mostly
                // come a few records before it: it is still in the cache,
                // where the table's reference goes cheaply. Nothing takes a
                // reference away before the load ends (an entry another
                // object holds lives on), nor may another thread drop one
                // (bPrivate); an object only the table holds keeps the
                // table's reference. After this the table leaves it alone.
                NiObject* pkObject = m_kObjects[m_uiLinkPos];
                if (bPrivate && pkObject != nullptr && pkObject->GetRefCount() > 1)
                {
                    pkObject->DecRefCountPrivate();
                    ucWork = WORK_RELEASED;
                }
                continue;
            }
            if (!CheckStatus())
                return false;
            if (m_kObjects[m_uiLinkPos] != nullptr)
            {
                m_kObjects[m_uiLinkPos]->ResolveLinks(*this);
                m_kPostLinked.push_back(m_uiLinkPos);
            }
            if (IsCorrupt())
                return Corrupt();
            bPrivate = CountsPrivately();
        }
        // Post-link steps may ask for the top objects.
        FillTopObjects();
    }
    // The objects with post-link work, in table order: those a few places
    // ahead in this list are fetched while one is handled.
    for (; m_uiPostLinkPos < m_kPostLinked.size(); ++m_uiPostLinkPos)
    {
        if (!CheckStatus())
            return false;
        if (m_uiPostLinkPos + POST_LINK_AHEAD < m_kPostLinked.size())
            PrefetchObject(m_kPostLinked[m_uiPostLinkPos + POST_LINK_AHEAD]);
        // A post-link step may replace another object's entry.
        if (NiObject* pkObject = m_kObjects[m_kPostLinked[m_uiPostLinkPos]])
            pkObject->PostLink(*this);
        if (IsCorrupt())
            return Corrupt();
    }
    if (!CheckStatus())
        return false;

    // The table's last references go without locked instructions when the
    // objects are still the load's alone (no other thread can have reached
    // one: nothing of the load went onto an instance list, the only way
    // out); a callback may hand them on.
    bool bPrivate = CountsPrivately();
    if (s_pkPostLoad != nullptr && s_pkPostLoad->GetEffectiveSize() > 0)
    {
        bPrivate = false;
        for (const NiObjectPtr& spTop : m_kTopObjects)
        {
            if (spTop == nullptr)
                continue;
            for (std::uint32_t i = 0; i < s_pkPostLoad->GetSize(); ++i)
            {
                if (NiPostLoadCallback pfnCallback = s_pkPostLoad->GetAt(i))
                    pfnCallback(*this, spTop);
            }
        }
    }
    if (m_uiFileVersion < NiStreamVersion(4, 1, 0, 12) && s_pfnOldFlagFix != nullptr)
    {
        bPrivate = false;
        for (std::size_t i = 0; i < m_kObjects.size(); ++i)
        {
            if (m_kObjects[i] != nullptr && !IsReleased(i))
                s_pfnOldFlagFix(*this, m_kObjects[i]);
        }
    }

    kGuard.Succeeded();
    EndLoad(true, bPrivate);
    return true;
}

void NiObjectStream::EndLoad(bool bSucceeded, bool bPrivate)
{
    NiRecursiveLockGuard kGuard(NiStreamLoadLock());
    if (!bSucceeded)
    {
        // The stream still holds every object it made, so none dies while
        // the others let go of theirs; whatever loops the records formed,
        // the stream's references are then the last.
        for (std::size_t i = 0; i < m_kObjects.size(); ++i)
        {
            if (m_kObjects[i] != nullptr && !IsReleased(i))
                m_kObjects[i]->DropCountedLinks();
        }
        if (m_spReplaced != nullptr)
            m_spReplaced->DropCountedLinks();
    }
    m_spReplaced.Clear();
    ReleaseObjectTable(bSucceeded && bPrivate);
    m_kLinks.clear();
    m_uiLinkRead = 0;
    m_kCounts.clear();
    m_uiCountRead = 0;
    m_kClassNames.clear();
    m_kClassIndices.clear();
    m_kCreate.clear();
    m_kClassWork.clear();
    m_kClassTypes.clear();
    m_pcCurrentClass = nullptr;
    // The objects keep the arena's blocks for as long as any of them lives.
    if (m_pkArena != nullptr)
    {
        m_pkArena->Release();
        m_pkArena = nullptr;
    }
    if (!bSucceeded)
    {
        m_kTopObjects.clear();
        m_kGroups.clear();
    }
}

void NiObjectStream::ReleaseObjectTable(bool bPrivate)
{
    // The objects were last touched a whole pass ago: the ones a few places
    // ahead are fetched while this one's reference goes. A locked
    // instruction waits for its object's line, so a private release also
    // lets the fetches of the next objects overlap.
    NiObjectPtr* pspObjects = m_kObjects.data();
    std::size_t uiCount = m_kObjects.size();
    // The link pass let go of the references whose entry says so already;
    // those objects may be gone. A table of a save has no such entries. The
    // positions of the others are listed, in order, and let go of with the
    // objects a few places ahead in the list fetched.
    const std::uint8_t* pucWork = m_kLinkWork.size() == uiCount ? m_kLinkWork.data() : nullptr;
    std::vector<std::uint32_t>& kHeld = m_kPostLinked;
    kHeld.clear();
    for (std::size_t i = 0; i < uiCount; ++i)
    {
        if (pucWork != nullptr && (pucWork[i] == WORK_RELEASED || pucWork[i] == WORK_TRANSFERRED))
            (void)pspObjects[i].Detach();
        else if (pspObjects[i] != nullptr)
            kHeld.push_back(static_cast<std::uint32_t>(i));
    }
    const std::size_t uiHeld = kHeld.size();
    for (std::size_t k = 0; k < uiHeld; ++k)
    {
        if (k + POST_LINK_AHEAD < uiHeld)
            __builtin_prefetch(pspObjects[kHeld[k + POST_LINK_AHEAD]].Get(), 1);
        NiObjectPtr& spObject = pspObjects[kHeld[k]];
        if (!bPrivate)
            spObject.Clear();
        else if (NiObject* pkObject = spObject.Detach())
            pkObject->DecRefCountPrivate();
    }
    m_kObjects.clear();
    m_kObjects.shrink_to_fit();
    m_kLinkWork.clear();
    m_kPostLinked.clear();
    m_kTopLinks.clear();
}

// ---- Saving ----

bool NiObjectStream::SaveByteStream(NiByteStream* pkOstr)
{
    if (pkOstr == nullptr || !pkOstr->IsGood())
        return false;
    m_spWriter = std::make_unique<Writer>(*pkOstr);
    bool bResult = WriteObjects();
    m_spWriter.reset();
    return bResult;
}

bool NiObjectStream::SaveBuffer(std::unique_ptr<std::uint8_t[]>& spBuffer, std::uint32_t& uiSize)
{
    NiMemoryStream kMemory;
    if (!SaveByteStream(&kMemory))
        return false;
    uiSize = kMemory.GetSize();
    spBuffer = kMemory.Detach();
    return true;
}

bool NiObjectStream::SaveFile(const char* pcPath)
{
    m_kFileName = pcPath ? pcPath : "";
    if (m_kFileName.size() > MAX_TEXT_CHARS)
        m_kFileName.resize(MAX_TEXT_CHARS);
    m_spSearchPath->SetReferencePath(pcPath);

    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcPath, NiBufferedFile::WRITE_ONLY, FILE_BUFFER_SIZE);
    if (spFile == nullptr || !spFile->IsGood())
        return false;
    bool bResult = SaveByteStream(spFile.get());
    // The last buffer load only reaches the disk here; a full disk shows now
    // or never.
    if (auto* pkFile = dynamic_cast<NiBufferedFile*>(spFile.get()))
        bResult = pkFile->Flush() && bResult;
    return bResult && spFile->IsGood();
}

void NiObjectStream::WriteHeader()
{
    GetOutStream()->WriteCString(HEADER_LINE);
    WriteLE(CURRENT_VERSION);
    WriteLE(std::uint32_t{0});
    WriteLE(static_cast<std::uint32_t>(m_kObjects.size()));
}

void NiObjectStream::WriteClassTable()
{
    std::vector<const char*> kNames;
    std::unordered_map<std::string_view, std::uint16_t> kIndexOf;
    std::vector<std::uint16_t> kIndices;
    kIndices.reserve(m_kObjects.size());
    for (const NiObjectPtr& spObject : m_kObjects)
    {
        const NiTypeInfo* pkType = spObject->GetTypeInfo();
        const char* pcName = pkType ? pkType->GetName() : "";
        auto kIt = kIndexOf.find(pcName);
        if (kIt == kIndexOf.end())
        {
            kIt = kIndexOf.emplace(pcName, static_cast<std::uint16_t>(kNames.size())).first;
            kNames.push_back(pcName);
        }
        kIndices.push_back(kIt->second);
    }
    WriteLE(static_cast<std::uint16_t>(kNames.size()));
    for (const char* pcName : kNames)
    {
        std::uint32_t uiLength = static_cast<std::uint32_t>(std::strlen(pcName));
        WriteLE(uiLength);
        WriteBytes(pcName, uiLength);
    }
    for (std::uint16_t usIndex : kIndices)
        WriteLE(usIndex);
}

void NiObjectStream::WriteGroupTable()
{
    // Objects keep the group of the load that made them, and that load's
    // stream (which owns the group) may be gone or reused by now: a group is
    // therefore only told apart by its address, never read or written
    // through it, and the sizes are counted afresh from the objects.
    m_kSaveGroups.clear();
    std::vector<std::uint32_t> kSizes;
    for (const NiObjectPtr& spObject : m_kObjects)
    {
        const NiBlockGroup* pkGroup = spObject->GetBlockGroup();
        if (pkGroup == nullptr)
            continue;
        auto kIt = std::find(m_kSaveGroups.begin(), m_kSaveGroups.end(), pkGroup);
        std::size_t uiIndex = static_cast<std::size_t>(kIt - m_kSaveGroups.begin());
        if (kIt == m_kSaveGroups.end())
        {
            m_kSaveGroups.push_back(pkGroup);
            kSizes.push_back(0);
        }
        kSizes[uiIndex] += spObject->GetBlockAllocationSize();
    }
    WriteLE(static_cast<std::uint32_t>(kSizes.size()));
    for (std::uint32_t uiSize : kSizes)
        WriteLE(uiSize);
}

bool NiObjectStream::WriteObjects()
{
    m_kObjects.clear();
    m_kRegisterMap.clear();
    RegisterTopObjects();
    WriteHeader();
    WriteClassTable();
    WriteGroupTable();
    for (const NiObjectPtr& spObject : m_kObjects)
        spObject->WriteToStream(*this);
    WriteTopObjects();
    bool bResult = GetOutStream()->IsGood();
    m_kObjects.clear();
    m_kObjects.shrink_to_fit();
    m_kRegisterMap.clear();
    m_kSaveGroups.clear();
    return bResult;
}

void NiObjectStream::RegisterTopObjects()
{
    for (const NiObjectPtr& spTop : m_kTopObjects)
    {
        if (spTop != nullptr)
            spTop->RegisterForSave(*this);
    }
}

void NiObjectStream::WriteTopObjects()
{
    WriteLE(static_cast<std::uint32_t>(m_kTopObjects.size()));
    for (const NiObjectPtr& spTop : m_kTopObjects)
        WriteLinkID(spTop);
}

// ---- The object table ----

bool NiObjectStream::RegisterObject(NiObject* pkObject)
{
    if (pkObject == nullptr)
        return false;
    auto kResult = m_kRegisterMap.emplace(pkObject, static_cast<std::uint32_t>(m_kObjects.size()));
    if (!kResult.second)
        return false;
    m_kObjects.emplace_back(pkObject);
    return true;
}

void NiObjectStream::ReplaceCurrentObject(NiObject* pkObject)
{
    if (m_uiLoadPos >= m_kObjects.size())
        return;
    // The object being replaced is usually the caller itself: it must live
    // until its read returns. A second replacement in the same read keeps
    // that first object, the one whose read is running.
    if (m_spReplaced == nullptr)
        m_spReplaced = m_kObjects[m_uiLoadPos];
    m_kObjects[m_uiLoadPos] = pkObject;
    // Whatever class it is of, it takes part in the link passes.
    if (m_uiLoadPos < m_kLinkWork.size())
        m_kLinkWork[m_uiLoadPos] = WORK_LINKED;
    // The new object may be one that others already hold.
    m_bObjectReplaced = true;
}

bool NiObjectStream::CountsPrivately() const
{
    return m_pkArena != nullptr && !m_bObjectReplaced && NiInstanceListThreadAppends() == m_uiListAppendsAtStart;
}

std::uint32_t NiObjectStream::GetLinkIndex(const NiObject* pkObject) const
{
    if (pkObject == nullptr)
        return NULL_LINK;
    auto kIt = m_kRegisterMap.find(pkObject);
    return kIt == m_kRegisterMap.end() ? NULL_LINK : kIt->second;
}

void NiObjectStream::WriteLinkID(const NiObject* pkObject)
{
    WriteLE(GetLinkIndex(pkObject));
}

// ---- Record helpers ----

std::uint32_t NiObjectStream::ReadLinkIDListChecked()
{
    std::uint32_t uiCount = 0;
    ReadCount(uiCount, 4);
    m_kCounts.push_back(uiCount);
    // The count was checked against the bytes left: all links in one go.
    const std::uint8_t* puc = uiCount > 0 ? TakeBytes(std::uint64_t{uiCount} * 4) : nullptr;
    if (puc == nullptr)
        return 0;
    std::size_t uiOld = m_kLinks.size();
    m_kLinks.resize(uiOld + uiCount);
    std::memcpy(m_kLinks.data() + uiOld, puc, std::size_t{uiCount} * 4);
    return uiCount;
}

void NiObjectStream::QueueLinkCount(std::uint32_t uiCount)
{
    m_kCounts.push_back(uiCount);
}

std::uint32_t NiObjectStream::GetNextLinkCount()
{
    if (m_uiCountRead >= m_kCounts.size())
    {
        SetCorrupt();
        return 0;
    }
    return m_kCounts[m_uiCountRead++];
}

NiObject* NiObjectStream::ReadObjectRef()
{
    std::uint32_t uiLink = NULL_LINK;
    if (!ReadLE(uiLink) || uiLink == NULL_LINK)
        return nullptr;
    if (uiLink >= m_uiFileObjectCount)
    {
        SetCorrupt();
        return nullptr;
    }
    // Old files create each object as its record comes: a later one does
    // not exist yet. Class-table files name every object up front.
    if (uiLink >= m_kObjects.size() && uiLink < m_kClassIndices.size() && !CreateObjectsThrough(uiLink))
        return nullptr;
    return uiLink < m_kObjects.size() ? m_kObjects[uiLink].Get() : nullptr;
}

bool NiObjectStream::ReadBytes(void* pvBuffer, std::uint32_t uiBytes)
{
    if (uiBytes == 0)
        return !IsCorrupt();
    const std::uint8_t* puc = TakeBytes(uiBytes);
    if (puc == nullptr)
        return false;
    std::memcpy(pvBuffer, puc, uiBytes);
    return true;
}

void NiObjectStream::WriteBytes(const void* pvBuffer, std::uint32_t uiBytes)
{
    if (uiBytes > 0)
        GetOutStream()->Write(pvBuffer, uiBytes);
}

NiArenaString NiObjectStream::ReadArenaStringChecked()
{
    std::uint32_t uiLength = 0;
    if (!ReadLE(uiLength) || uiLength == 0 || (uiLength & 0x80000000u) != 0)
        return nullptr;
    if (uiLength > GetBytesLeft())
    {
        SetCorrupt();
        return nullptr;
    }
    const std::uint8_t* puc = TakeBytes(uiLength);
    return NiArenaString(NiArenaStrDup(reinterpret_cast<const char*>(puc), uiLength));
}

char* NiObjectStream::ReadString()
{
    std::uint32_t uiLength = 0;
    if (!ReadLE(uiLength) || uiLength == 0 || (uiLength & 0x80000000u) != 0)
        return nullptr;
    if (uiLength > GetBytesLeft())
    {
        SetCorrupt();
        return nullptr;
    }
    auto* pcText = new char[uiLength + 1];
    if (!ReadBytes(pcText, uiLength))
    {
        delete[] pcText;
        return nullptr;
    }
    pcText[uiLength] = '\0';
    return pcText;
}

void NiObjectStream::WriteString(const char* pcText)
{
    std::uint32_t uiLength = pcText ? static_cast<std::uint32_t>(std::strlen(pcText)) : 0;
    WriteLE(uiLength);
    WriteBytes(pcText, uiLength);
}

// ---- Top-level objects, groups, textures ----

void NiObjectStream::InsertTopObject(NiObject* pkObject)
{
    m_kTopObjects.emplace_back(pkObject);
}

void NiObjectStream::RemoveAllTopObjects()
{
    NiRecursiveLockGuard kGuard(NiStreamLoadLock());
    // A loaded scene dies top object by top object: one batch for them all
    // gives the arena its pieces back in one count, not one per top object,
    // and the list nodes to their pool in one locked step.
    NiLoadArena::FreeBatch kBatch;
    NiListNodePool::Batch kNodes;
    // In order, the next top objects fetched while one dies.
    constexpr std::size_t AHEAD = 2;
    for (std::size_t i = 0; i < m_kTopObjects.size(); ++i)
    {
        if (i + AHEAD < m_kTopObjects.size())
            __builtin_prefetch(m_kTopObjects[i + AHEAD].Get(), 1);
        m_kTopObjects[i].Clear();
    }
    m_kTopObjects.clear();
}

NiObject* NiObjectStream::GetObjectAt(std::uint32_t uiIndex) const
{
    return uiIndex < m_kTopObjects.size() ? m_kTopObjects[uiIndex].Get() : nullptr;
}

NiBlockGroup* NiObjectStream::GetBlockGroup(std::uint32_t uiIndex) const
{
    if (uiIndex == 0 || uiIndex > m_kGroups.size())
        return nullptr;
    return m_kGroups[uiIndex - 1].get();
}

std::uint32_t NiObjectStream::GetBlockGroupIndex(const NiBlockGroup* pkGroup) const
{
    if (m_spWriter != nullptr)
    {
        for (std::uint32_t i = 0; pkGroup != nullptr && i < m_kSaveGroups.size(); ++i)
        {
            if (m_kSaveGroups[i] == pkGroup)
                return i + 1;
        }
        return 0;
    }
    for (std::uint32_t i = 0; pkGroup != nullptr && i < m_kGroups.size(); ++i)
    {
        if (m_kGroups[i].get() == pkGroup)
            return i + 1;
    }
    return 0;
}

void NiObjectStream::AddSharedTexture(const char* pcName, NiObject* pkTexture)
{
    if (m_spSharedTextures != nullptr)
        m_spSharedTextures->AddTexture(pcName, pkTexture);
}

NiObjectPtr NiObjectStream::FindSharedTexture(const char* pcName, const NiObject* pkLoading)
{
    return m_spSharedTextures != nullptr ? m_spSharedTextures->FindTexture(pcName, pkLoading) : nullptr;
}

NiSharedTextureTable* NiObjectStream::GetSharedTextureTable() const
{
    return m_spSharedTextures;
}

// ---- Process-wide tables ----

void NiObjectStream::StaticInit()
{
    if (s_pkCreateTable == nullptr)
        s_pkCreateTable = new NiCreateFunctionTable;
    if (s_pkPostLoad == nullptr)
        s_pkPostLoad = new NiSparsePtrArray<NiPostLoadCallback>(0, 3);
}

void NiObjectStream::ReleaseKeptMemory()
{
    ReadBuffer kBuffer = TakeReadBuffer();
}

void NiObjectStream::StaticShutdown()
{
    ReleaseKeptMemory();
    delete s_pkCreateTable;
    s_pkCreateTable = nullptr;
    delete s_pkPostLoad;
    s_pkPostLoad = nullptr;
}

bool NiObjectStream::IsStaticInitialized()
{
    return s_pkCreateTable != nullptr;
}

bool NiObjectStream::RegisterCreateFunction(const char* pcClassName, NiCreateFunction pfnCreate)
{
    if (s_pkCreateTable == nullptr || pcClassName == nullptr)
        return false;
    s_pkCreateTable->SetAt(pcClassName, reinterpret_cast<void*>(pfnCreate));
    return true;
}

bool NiObjectStream::UnregisterCreateFunction(const char* pcClassName)
{
    return s_pkCreateTable != nullptr && s_pkCreateTable->RemoveAt(pcClassName);
}

NiCreateFunction NiObjectStream::GetCreateFunction(const char* pcClassName)
{
    void* pv = nullptr;
    if (s_pkCreateTable == nullptr || !s_pkCreateTable->GetAt(pcClassName, pv))
        return nullptr;
    return reinterpret_cast<NiCreateFunction>(pv);
}

NiObject* NiObjectStream::CreateObjectByName(const char* pcClassName)
{
    NiCreateFunction pfnCreate = GetCreateFunction(pcClassName);
    return pfnCreate ? pfnCreate() : nullptr;
}

std::uint32_t NiObjectStream::GetCreateFunctionBucket(const char* pcClassName)
{
    std::uint32_t h = 0;
    for (const char* pc = pcClassName; pc && *pc; ++pc)
        h = h * 33u + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(*pc)));
    return h % CREATE_TABLE_BUCKETS;
}

void NiObjectStream::RegisterPostLoadCallback(NiPostLoadCallback pfnCallback)
{
    if (s_pkPostLoad != nullptr && pfnCallback != nullptr)
        s_pkPostLoad->AddFirstEmpty(pfnCallback);
}

void NiObjectStream::UnregisterPostLoadCallback(NiPostLoadCallback pfnCallback)
{
    if (s_pkPostLoad == nullptr)
        return;
    for (std::uint32_t i = 0; i < s_pkPostLoad->GetSize(); ++i)
    {
        if (s_pkPostLoad->GetAt(i) == pfnCallback)
        {
            s_pkPostLoad->RemoveAt(i);
            return;
        }
    }
}

const NiSparsePtrArray<NiPostLoadCallback>* NiObjectStream::GetPostLoadCallbacks()
{
    return s_pkPostLoad;
}

void NiObjectStream::SetOldUpdateFlagFix(NiOldUpdateFlagFix pfnFix)
{
    s_pfnOldFlagFix = pfnFix;
}

// ---- NiObject's stream parts ----

// NiObject's own record part: files from 5.0.0.6 up to 10.1.0.114 carry an
// allocation-group index.
void NiObject::ReadFromStream(NiObjectStream& kStream)
{
    kStream.ReadObjectPart(*this);
}

void NiObjectStream::ReadBlockGroupIndex(NiObject& kObject)
{
    std::uint32_t uiGroup = 0;
    if (!ReadLE(uiGroup))
        return;
    if (uiGroup > GetBlockGroupCount())
    {
        SetCorrupt();
        return;
    }
    kObject.SetBlockGroup(GetBlockGroup(uiGroup));
}

bool NiObject::RegisterForSave(NiObjectStream& kStream)
{
    return kStream.RegisterObject(this);
}

NiObjectPtr NiObject::DeepCopy()
{
    NiObjectStream kStream;
    kStream.InsertTopObject(this);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    if (!kStream.SaveBuffer(spBuffer, uiSize))
        return nullptr;
    if (!kStream.LoadBuffer(spBuffer.get(), uiSize))
        return nullptr;
    return kStream.GetObjectAt(0);
}
