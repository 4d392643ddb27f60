#pragma once

#include "framework/COrvaneBase.h"

#include <memory>

class COrvaneObject;
class COrvaneWorld;
struct COrvaneObjectDesc;

// Makes the objects of one kind; the game registers its own factories with
// the object manager after the framework's "orvaneObjectFactory".
class COrvaneObjectFactory : public COrvaneBase
{
public:
    COrvaneObjectFactory();
    ~COrvaneObjectFactory() override = default;

    void Destroy() override { Reset(); }
    virtual void Reset() { m_pkWorld = nullptr; }
    // A new loaded object, added to the world when the factory has one and
    // the descriptor asks for it.
    [[nodiscard]] virtual COrvaneObject* Create(COrvaneObjectDesc& kDesc);
    virtual void SetWorld(COrvaneWorld* pkWorld) { m_pkWorld = pkWorld; }
    // A constructed object of the kind Create makes, neither loaded nor in
    // a world: a reader asks it how to read a saved record before anything
    // is made. Null when the factory makes nothing.
    [[nodiscard]] virtual std::unique_ptr<COrvaneObject> CreateBlank() const;

    [[nodiscard]] COrvaneWorld* GetWorld() const { return m_pkWorld; }

protected:
    COrvaneWorld* m_pkWorld = nullptr; // link
};
