#pragma once

#include "framework/COrvaneAssetPool.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The ids a kind of object waits for before the game offers it: all of
// them, and those still outstanding.
class COrvanePrerequisites : public COrvaneBase
{
public:
    COrvanePrerequisites() = default;
    ~COrvanePrerequisites() override = default;

    virtual void Reset();
    virtual void Add(std::int32_t iId);
    // The first outstanding occurrence goes.
    virtual void Remove(std::int32_t iId);
    // Every id is outstanding again.
    virtual void Restore();
    [[nodiscard]] virtual bool IsSatisfied() const;

    [[nodiscard]] const std::vector<std::int32_t>& GetOutstanding() const { return m_kOutstanding; }
    [[nodiscard]] const std::vector<std::int32_t>& GetAll() const { return m_kAll; }

private:
    std::vector<std::int32_t> m_kOutstanding;
    std::vector<std::int32_t> m_kAll;
};

// One kind of object read from the game data: its models, animations,
// parameters and prerequisites.
class COrvaneObjectTemplate
{
public:
    COrvaneObjectTemplate();
    ~COrvaneObjectTemplate();
    COrvaneObjectTemplate(const COrvaneObjectTemplate&) = delete;
    COrvaneObjectTemplate& operator=(const COrvaneObjectTemplate&) = delete;

    std::vector<COrvaneAnimEntryPtr> m_kAnimations;
    std::vector<COrvaneModelEntryPtr> m_kModels;
    std::vector<std::unique_ptr<COrvaneBase>> m_kExtras;
    // The template node's values after the model file, then "common"'s.
    std::vector<std::string> m_kParameters;
    std::unique_ptr<COrvanePrerequisites> m_pkPrerequisites;
};

// A named list of templates (one "plans" node of the game data).
struct COrvaneTemplateGroup
{
    std::string m_kName;
    std::vector<std::unique_ptr<COrvaneObjectTemplate>> m_kRecords;
};
