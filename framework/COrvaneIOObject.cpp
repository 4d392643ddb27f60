#include "framework/COrvaneIOObject.h"

#include "engine/core/NiXform.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneCompositeImpl.h"
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

// A model object is placed in the frame of its root, and the root hangs in
// the world's scene, which may be turned (the demo world's scene is): the
// placement and the world translation then differ. The record's position
// line holds the world position, so reading undoes the frame instead of
// taking the world position for a placement. False: no model object, the
// position is the model's bare one.
bool RootFrame(const COrvaneComposite* pkModel, NiXform& kFrame)
{
    const NiNode* pkRoot = pkModel ? pkModel->GetRoot() : nullptr;
    if (!pkRoot || !pkModel->GetModelObject())
        return false;
    const NiAVObject* pkParent = pkRoot->GetParent();
    kFrame = pkParent ? pkParent->GetWorldTransform() * pkRoot->GetLocalTransform() : pkRoot->GetLocalTransform();
    return true;
}
} // namespace

COrvaneIOState::~COrvaneIOState() = default;

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
    // A pending position is still in the root's frame, and a world
    // translation is only as new as the last update: the line is worked
    // out from the placement itself.
    NiXform kFrame;
    NiVec3 kLocal;
    if (RootFrame(m_pkModel, kFrame) && m_pkModel->GetImpl()->GetLocalPosition(kLocal))
        kPosition = kFrame * kLocal;
    kText += FormatFloat(kPosition.x) + "," + FormatFloat(kPosition.y) + "," + FormatFloat(kPosition.z) + "," +
             FormatFloat(m_afAngles[1]) + "\r\n";
    return kFile.WriteString(kText.c_str()) ? 1 : 0;
}

int COrvaneIOObject::LoadState(COrvaneFile& kFile)
{
    // This class's lines alone, also when called for a derived object.
    COrvaneIOState kState;
    if (!COrvaneIOObject::ParseState(kFile, kState))
        return 0;
    COrvaneIOObject::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> COrvaneIOObject::NewState() const
{
    return std::make_unique<COrvaneIOState>();
}

bool COrvaneIOObject::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    std::string kLine;
    kFile.ReadLine(kLine);
    std::vector<float> kValues;
    if (!SplitFloats(kLine, kValues) || kValues.size() < 4)
        return false;
    kState.m_kPosition = NiVec3(kValues[0], kValues[1], kValues[2]);
    kState.m_fHeading = kValues[3];
    return true;
}

void COrvaneIOObject::ApplyState(const COrvaneIOState& kState)
{
    Rotate(NiVec3::UNIT_Y, kState.m_fHeading, false);
    PlaceLoaded(kState.m_kPosition);
    Update(0.0f);
}

void COrvaneIOObject::PlaceLoaded(const NiVec3& kPosition)
{
    NiXform kFrame;
    SetPosition(RootFrame(m_pkModel, kFrame) ? kFrame.Invert() * kPosition : kPosition, 2);
}
