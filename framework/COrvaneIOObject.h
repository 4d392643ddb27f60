#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneObject.h"

#include <memory>
#include <string>
#include <vector>

class COrvaneFile;

// The plain values of an object's saved record, read apart from the object
// they are meant for: a record that does not read leaves every object as it
// was. Each kind of object extends it with its own lines.
struct COrvaneIOState
{
    virtual ~COrvaneIOState();

    NiVec3 m_kPosition;
    float m_fHeading = 0.0f;
};

// An object that writes its state to a line file and reads it back.
class COrvaneIOObject : public COrvaneObject
{
public:
    ~COrvaneIOObject() override;

    // The model's name, the type's name, then "x,y,z,heading"; lines end in
    // CR LF.
    // LoadState reads the object's own lines (after the two names): they
    // are parsed first and put into the object only when all of them read;
    // 0 and the object untouched otherwise.
    virtual int LoadState(COrvaneFile& kFile);
    virtual int SaveState(COrvaneFile& kFile);

    // The empty value record of this kind of object.
    [[nodiscard]] virtual std::unique_ptr<COrvaneIOState> NewState() const;
    // Reads the object's lines into a record made by NewState of the same
    // kind of object; false when a line does not read. Touches no object.
    [[nodiscard]] virtual bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const;
    // Puts a parsed record into the object; cannot fail. The record's
    // position is placed first, so a later line of a derived kind that
    // says where the object stands (a character's controller) wins.
    virtual void ApplyState(const COrvaneIOState& kState);

    // Six significant digits, the decimal point always shown.
    [[nodiscard]] static std::string FormatFloat(float fValue);
    // The comma-separated fields of a line as numbers; false when a field is
    // not a number.
    [[nodiscard]] static bool SplitFloats(const std::string& kLine, std::vector<float>& kValues);
    [[nodiscard]] static bool SplitIntegers(const std::string& kLine, std::vector<long long>& kValues);
    // The next line of the file read as one integer; false when the line
    // does not start with one.
    [[nodiscard]] static bool ReadInteger(COrvaneFile& kFile, long long& llValue);

protected:
    // Puts the model at a loaded record's position line (the world
    // position, read back into the root's frame); a kind whose models hang
    // elsewhere places them its own way.
    virtual void PlaceLoaded(const NiVec3& kPosition);
};
