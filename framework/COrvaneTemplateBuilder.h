#pragma once

#include "framework/COrvaneAssetPool.h"

#include <memory>
#include <string>
#include <vector>

class COrvaneObjectTemplate;
class COrvaneSceneFileLoader;

// Turns the top-level objects of a model file (and its animation file) into
// template records, taking models and sequences from the pools so each is
// loaded once.
class COrvaneTemplateBuilder
{
public:
    COrvaneTemplateBuilder(COrvaneModelPool& kModels, COrvaneAnimPool& kAnimations);

    // The file name as written in the game data; its last folder, with the
    // slash, becomes the base path of new sequences.
    void Bind(const std::string& kFileName);
    // A scene-file callback: the loader's current object joins the build.
    static void AddTopObject(void* pvBuilder, COrvaneSceneFileLoader& kLoader);
    void Add(class NiObject* pkObject);
    // Singles and level-of-detail groups become records; the lists empty.
    [[nodiscard]] std::vector<std::unique_ptr<COrvaneObjectTemplate>> Build();
    void Clear();

    [[nodiscard]] const std::string& GetBasePath() const { return m_kBasePath; }
    [[nodiscard]] std::uint32_t GetModelsAdded() const { return m_uiModelsAdded; }
    [[nodiscard]] std::uint32_t GetAnimationsAdded() const { return m_uiAnimationsAdded; }

    // "models/cells/a.nif" gives "cells/"; no folder gives "".
    [[nodiscard]] static std::string BasePathOf(const std::string& kFileName);
    // The level-of-detail key of a model name: from after the first "/" to
    // before the character preceding "LOD" ("" when that range is empty).
    [[nodiscard]] static std::string LODKeyOf(const std::string& kName);
    // The animation file next to a model file ("x.nif" -> "x.kf"); empty
    // for names under four characters.
    [[nodiscard]] static std::string AnimationFileOf(const std::string& kFileName);

private:
    COrvaneModelPool& m_kModels;
    COrvaneAnimPool& m_kAnimations;
    std::string m_kFileName;
    std::string m_kBasePath;
    std::vector<COrvaneModelEntryPtr> m_kModelEntries;
    std::vector<COrvaneAnimEntryPtr> m_kAnimEntries;
    std::uint32_t m_uiModelsAdded = 0;
    std::uint32_t m_uiAnimationsAdded = 0;
};
