#include "engine/shaders/nsf/NSFScannerState.h"

#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFSourceFile.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
int s_iLine = 1;
int s_iErrorCount = -1;
bool s_bFailed = false;
bool s_bInputEnded = false;
int s_iFailAllocation = 0;
int s_iFailReallocation = 0;
// Every block the scanner holds: flex loses a block when an allocation
// fails half-way, so a failed scanner is freed from this list.
std::vector<void*> s_kBlocks;
std::jmp_buf s_kEscape;

void Forget(void* pvBlock)
{
    auto kIt = std::find(s_kBlocks.begin(), s_kBlocks.end(), pvBlock);
    if (kIt != s_kBlocks.end())
        s_kBlocks.erase(kIt);
}

// Counts down a requested failure; true when this call is the one.
bool TakeFailure(int& iCountdown)
{
    if (iCountdown <= 0)
        return false;
    return --iCountdown == 0;
}
} // namespace

void NSFScannerState::Reset()
{
    DropScanner();
    s_iLine = 1;
    s_iErrorCount = -1;
    s_bFailed = false;
    s_bInputEnded = false;
    s_iFailAllocation = 0;
    s_iFailReallocation = 0;
}

int NSFScannerState::GetErrorCount()
{
    return s_iErrorCount;
}

void NSFScannerState::SetErrorCount(int iCount)
{
    s_iErrorCount = iCount;
}

bool NSFScannerState::Failed()
{
    return s_bFailed;
}

void NSFScannerState::ClearFailure()
{
    s_bFailed = false;
    s_bInputEnded = false;
}

std::size_t NSFScannerState::LiveBlocks()
{
    return s_kBlocks.size();
}

void NSFScannerState::FailAllocation(int iNth)
{
    s_iFailAllocation = iNth;
}

void NSFScannerState::FailReallocation(int iNth)
{
    s_iFailReallocation = iNth;
}

std::size_t NSFScannerState::ReadSource(char* pcBuffer, std::size_t uiMax)
{
    NSFSourceFile* pkSource = NSFSourceFile::GetCurrent();
    const std::size_t uiRead = pkSource != nullptr ? pkSource->Read(pcBuffer, uiMax) : 0;
    if (uiRead == 0)
        s_bInputEnded = true;
    return uiRead;
}

bool NSFScannerState::InputEnded()
{
    return s_bInputEnded;
}

void NSFScannerState::CountLine()
{
    if (s_iLine < INT_MAX)
        ++s_iLine;
}

void NSFScannerState::Fatal(const char* pcMessage)
{
    std::fprintf(stderr, "%s\n", pcMessage);
    std::longjmp(s_kEscape, 1);
}

void NSFScannerState::UnterminatedComment()
{
    std::fputs("err: EOF in comment!\n", stdout);
    std::fflush(stdout);
    std::longjmp(s_kEscape, 1);
}

void NSFScannerState::EchoText(const char* pcText, std::size_t uiLength)
{
    std::fwrite(pcText, 1, uiLength, stdout);
}

char* NSFScannerState::CopyText(const char* pcText, std::size_t uiLength)
{
    char* pcCopy = static_cast<char*>(std::malloc(uiLength + 1));
    if (pcCopy == nullptr)
        return NSFGrammarActions::EmptyString();
    std::memcpy(pcCopy, pcText, uiLength);
    pcCopy[uiLength] = '\0';
    return pcCopy;
}

int NSFScannerState::ParseInt(const char* pcText)
{
    const char* pc = pcText;
    bool bNegative = false;
    if (*pc == '+' || *pc == '-')
        bNegative = *pc++ == '-';
    long long llValue = 0;
    const long long llLimit = bNegative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; *pc >= '0' && *pc <= '9'; ++pc)
    {
        llValue = llValue * 10 + (*pc - '0');
        if (llValue >= llLimit)
        {
            llValue = llLimit;
            break;
        }
    }
    return static_cast<int>(bNegative ? -llValue : llValue);
}

std::uint32_t NSFScannerState::ParseVersion(const char* pcText)
{
    std::uint32_t uiMajor = 0;
    std::uint32_t uiMinor = 0;
    const char* pc = pcText + 1;
    for (; *pc >= '0' && *pc <= '9'; ++pc)
        uiMajor = uiMajor * 10u + static_cast<std::uint32_t>(*pc - '0');
    if (*pc == '.')
        ++pc;
    for (; *pc >= '0' && *pc <= '9'; ++pc)
        uiMinor = uiMinor * 10u + static_cast<std::uint32_t>(*pc - '0');
    return ((uiMajor | 0xFFFFFE00u) << 8) | uiMinor;
}

void* NSFScannerState::Allocate(std::size_t uiSize)
{
    if (TakeFailure(s_iFailAllocation))
        return nullptr;
    void* pvBlock = std::malloc(uiSize);
    if (pvBlock != nullptr)
        s_kBlocks.push_back(pvBlock);
    return pvBlock;
}

void* NSFScannerState::Reallocate(void* pvBlock, std::size_t uiSize)
{
    // A refused block stays recorded: flex overwrites its pointer with null.
    if (TakeFailure(s_iFailReallocation))
        return nullptr;
    auto kIt = std::find(s_kBlocks.begin(), s_kBlocks.end(), pvBlock);
    void* pvNew = std::realloc(pvBlock, uiSize);
    if (pvNew == nullptr)
        return nullptr;
    if (kIt != s_kBlocks.end())
        *kIt = pvNew;
    else
        s_kBlocks.push_back(pvNew);
    return pvNew;
}

void NSFScannerState::Free(void* pvBlock)
{
    if (pvBlock == nullptr)
        return;
    Forget(pvBlock);
    std::free(pvBlock);
}

void NSFScannerState::DropScanner()
{
    DestroyScanner();
    for (void* pvBlock : s_kBlocks)
        std::free(pvBlock);
    s_kBlocks.clear();
}

int NextToken()
{
    if (s_bFailed)
        return 0;
    // Only the scanner's own frames lie between here and a failure's jump.
    if (setjmp(s_kEscape) != 0)
    {
        NSFScannerState::DropScanner();
        s_bFailed = true;
        ++s_iErrorCount;
        return 0;
    }
    return NSFScannerState::ScanProtected();
}

void ResetLineNumber()
{
    s_iLine = 1;
}

int GetLineNumber()
{
    return s_iLine;
}

void ReportParseError(const char* pcMessage)
{
    // A failed scanner has let go of the text its last token pointed into,
    // and the file is already counted as failed: the rules the parser still
    // reduces on its way out report nothing more.
    if (s_bFailed)
        return;
    ++s_iErrorCount;
    const char* pcText = NSFScannerState::TokenText();
    std::printf("* ERROR: Invalid identifier '%s' at line %d (%s)\n", pcText, s_iLine, pcMessage);
    std::fflush(stdout);
    std::fprintf(stderr, "* ERROR: Invalid identifier '%s' at line %d (%s)\n", pcText, s_iLine, pcMessage);
    const NSFSourceFile* pkSource = NSFSourceFile::GetCurrent();
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                 "* ERROR: %s\nInvalid identifier '%s' at line %d (%s)\n",
                                 pkSource != nullptr ? pkSource->GetPath() : "*** Unknown File ***", pcText, s_iLine,
                                 pcMessage);
}

void ResetScanner()
{
    NSFScannerState::DropScanner();
    s_bInputEnded = false;
}

void ReleaseScannerBuffer()
{
    NSFScannerState::DropScanner();
}

std::uint32_t ParseHexValue(const char* pcText)
{
    if (pcText == nullptr || *pcText == '\0')
        return 0;
    std::uint32_t uiValue = 0;
    std::uint32_t uiWeight = 1;
    for (std::size_t ui = std::strlen(pcText); ui-- > 0;)
    {
        const char c = pcText[ui];
        if (c == 'x' || c == 'X')
            break;
        std::uint32_t uiDigit;
        if (c >= 'a' && c <= 'f')
            uiDigit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            uiDigit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            uiDigit = static_cast<std::uint32_t>(c - '0');
        uiValue += uiDigit * uiWeight;
        uiWeight *= 16u;
    }
    return uiValue;
}
