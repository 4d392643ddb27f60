#pragma once

#include "engine/core/NiRefPtr.h"
#include "framework/COrvaneBase.h"

#include <memory>
#include <string>

class NiControllerSequence;
class NiObject;

// What an animation entry is loaded from: its name and the loaded engine
// object (null when none).
struct COrvaneAnimDesc
{
    std::string m_kName;
    NiObject* m_pkObject = nullptr;
};

// The named entry under which one loaded animation sequence is kept and
// shared.
class COrvaneAnim : public COrvaneBase
{
public:
    COrvaneAnim();
    ~COrvaneAnim() override;

    void Destroy() override;
    virtual void Reset() {}
    // Keeps the object only when it is a controller sequence (or derives
    // from one); anything else leaves the entry without a sequence.
    virtual void SetSequence(NiObject* pkObject);
    // A null object keeps the sequence set earlier.
    virtual void Load(const COrvaneAnimDesc& kDesc);

    [[nodiscard]] NiControllerSequence* GetSequence() const;

private:
    struct Holder;
    std::unique_ptr<Holder> m_pkSequence;
};
