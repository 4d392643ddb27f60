#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class COrvaneFileImpl;

// The framework's text file: opened by name for reading or writing, read a
// line at a time (LF ends a line, every CR is dropped), written a string at
// a time (the caller writes its own line ends).
class COrvaneFile
{
public:
    // Open modes, as the game's data code passes them.
    static constexpr std::uint32_t MODE_WRITE = 0;
    static constexpr std::uint32_t MODE_READ = 1;
    // Engine buffer behind every open file.
    static constexpr std::uint32_t BUFFER_SIZE = 65536;

    COrvaneFile();
    virtual ~COrvaneFile();
    COrvaneFile(const COrvaneFile&) = delete;
    COrvaneFile& operator=(const COrvaneFile&) = delete;

    virtual void Destroy();
    virtual void Release();
    virtual void ResetMode();

    // 1 on success, 0 on failure (any open file is closed first). Reading
    // refuses a missing or empty file; writing refuses a file that cannot
    // be created.
    [[nodiscard]] int Open(const char* pcName, std::uint32_t uiMode);
    // Writes into a file the caller opened for writing and keeps: Close and
    // the destructor flush into it and leave it open. 1 on success, 0 for
    // no file (any open file is closed first).
    [[nodiscard]] int OpenForWrite(std::FILE* pkFile);
    // 1 when a file was open, 0 otherwise.
    int Close();
    [[nodiscard]] bool IsOpen() const;
    // True when no further byte can be read; leaves the position as it was.
    [[nodiscard]] bool IsEof();

    // The next line without LF and CR, any length; empty at the end.
    void ReadLine(std::string& kText);
    // ReadLine calls since the file was (re)opened, the ones at the end
    // included: after a read, the number of the line just read, counting
    // from 1, so a reader can say where a file went wrong.
    [[nodiscard]] std::uint32_t GetLinesRead() const;
    // Writes the text up to its first NUL; false when not every byte went
    // out (or no file is open for writing).
    bool WriteString(const char* pcText);
    // Writes out what the engine buffer holds; false when that fails, or
    // any earlier write did.
    [[nodiscard]] bool Flush();
    // The bytes up to (not including) the first delimiter character or the
    // end of the file, cut at a NUL among them, followed by an LF.
    void ReadUntil(std::string& kText, const char* pcDelimiter);
    // Reopens the file and reads up to the first line containing the text.
    // 1 when found with at least one more byte after it, 0 otherwise.
    [[nodiscard]] int FindLine(const char* pcText);

    [[nodiscard]] const std::string& GetFileName() const { return m_kFileName; }
    [[nodiscard]] std::uint32_t GetMode() const { return m_uiMode; }

private:
    std::unique_ptr<COrvaneFileImpl> m_pkImpl;
    std::string m_kFileName;
    std::uint32_t m_uiMode = 0;
};

// The game's own line files: the same file under its own name.
class COrvaneTagFile : public COrvaneFile
{
public:
    COrvaneTagFile() = default;
    ~COrvaneTagFile() override = default;
};
