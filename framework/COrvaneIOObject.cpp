#include "framework/COrvaneIOObject.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"

#include <iomanip>
#include <sstream>

namespace
{
template <typename T> bool SplitFields(const std::string& kLine, std::vector<T>& kValues)
{
    kValues.clear();
    std::istringstream kFields(kLine);
    std::string kField;
    while (std::getline(kFields, kField, ','))
    {
        std::istringstream kIn(kField);
        T value{};
        if (!(kIn >> value))
            return false;
        kValues.push_back(value);
    }
    return true;
}
} // namespace

COrvaneIOObject::~COrvaneIOObject() = default;

std::string COrvaneIOObject::FormatFloat(float fValue)
{
    std::ostringstream kOut;
    kOut << std::showpoint << std::setprecision(6) << fValue;
    return kOut.str();
}

bool COrvaneIOObject::SplitFloats(const std::string& kLine, std::vector<float>& kValues)
{
    return SplitFields(kLine, kValues);
}

bool COrvaneIOObject::SplitIntegers(const std::string& kLine, std::vector<long long>& kValues)
{
    return SplitFields(kLine, kValues);
}

bool COrvaneIOObject::ReadInteger(COrvaneFile& kFile, long long& llValue)
{
    std::string kLine;
    kFile.ReadLine(kLine);
    std::istringstream kIn(kLine);
    return static_cast<bool>(kIn >> llValue);
}

int COrvaneIOObject::SaveState(COrvaneFile& kFile)
{
    const char* pcModelName = m_pkModel ? m_pkModel->GetName() : nullptr;
    const char* pcTypeName = m_pkTypeObject ? m_pkTypeObject->GetName() : nullptr;
    std::string kText = std::string(pcModelName ? pcModelName : "") + "\r\n";
    kText += std::string(pcTypeName ? pcTypeName : "") + "\r\n";
    const NiVec3* pkPosition = GetModelPosition();
    NiVec3 kPosition = pkPosition ? *pkPosition : NiVec3::ZERO;
    kText += FormatFloat(kPosition.x) + "," + FormatFloat(kPosition.y) + "," + FormatFloat(kPosition.z) + "," +
             FormatFloat(m_afAngles[1]) + "\r\n";
    return kFile.WriteString(kText.c_str()) ? 1 : 0;
}

int COrvaneIOObject::LoadState(COrvaneFile& kFile)
{
    std::string kLine;
    kFile.ReadLine(kLine);
    std::vector<float> kValues;
    // A short or damaged line changes nothing.
    if (!SplitFloats(kLine, kValues) || kValues.size() < 4)
        return 0;
    Rotate(NiVec3::UNIT_Y, kValues[3], false);
    SetPosition(NiVec3(kValues[0], kValues[1], kValues[2]), 2);
    Update(0.0f);
    return 1;
}
