#pragma once

#include "framework/COrvaneObject.h"

#include <string>
#include <vector>

class COrvaneFile;

// An object that writes its state to a line file and reads it back.
class COrvaneIOObject : public COrvaneObject
{
public:
    ~COrvaneIOObject() override;

    // The model's name, the type's name, then "x,y,z,heading"; lines end in
    // CR LF.
    virtual int LoadState(COrvaneFile& kFile);
    virtual int SaveState(COrvaneFile& kFile);

    // Six significant digits, the decimal point always shown.
    [[nodiscard]] static std::string FormatFloat(float fValue);
    // The comma-separated fields of a line as numbers; false when a field is
    // not a number.
    [[nodiscard]] static bool SplitFloats(const std::string& kLine, std::vector<float>& kValues);
    [[nodiscard]] static bool SplitIntegers(const std::string& kLine, std::vector<long long>& kValues);
    // The next line of the file read as one integer; false when the line
    // does not start with one.
    [[nodiscard]] static bool ReadInteger(COrvaneFile& kFile, long long& llValue);
};
