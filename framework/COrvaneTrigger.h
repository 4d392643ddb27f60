#pragma once

#include <memory>
#include <string>
#include <vector>

class COrvaneComposite;
class COrvaneObject;
class COrvaneUserPropScan;
class NiAVObject;

// Hands the user-property texts of a model's nodes to an object.
class COrvaneTrigger
{
public:
    COrvaneTrigger();
    virtual ~COrvaneTrigger();

    // Each text found comes to the target's HandleUserProp; the target is
    // kept only while the scan runs. Nodes the target leaves in the second
    // pass stay in the scanner's node list until the next scan.
    void Scan(COrvaneComposite* pkModel, COrvaneObject* pkTarget);
    // Forwards one text to the target of the running scan; 0 without one.
    virtual int OnUserProp(const char* pcText, int iPass, NiAVObject* pkNode);

    [[nodiscard]] COrvaneObject* GetTarget() const { return m_pkTarget; }
    [[nodiscard]] COrvaneUserPropScan* GetScanner() const { return m_pkScanner.get(); }

private:
    std::vector<void*> m_kUnused;
    std::string m_kText;
    std::unique_ptr<COrvaneUserPropScan> m_pkScanner;
    COrvaneObject* m_pkTarget = nullptr; // link, during Scan only
};
