#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneWorld.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneAnimationSpline;
class COrvaneObject;
class NiNodeAttachment;
struct CGridDesc;

// The game's world: the framework world of a level, whose placeholders and
// splines become the prison's outside areas, the connectors between them,
// the arrival road, the camera start and the protesters. It keeps the
// prison's upgrade level, which picks the level's fence and how many outside
// areas are open, and the highest map-grid number among the level's areas.
class CWorld : public COrvaneWorld
{
public:
    // What CreateFromNode is handed.
    static constexpr int NODE_OBJECT = 1;
    static constexpr int NODE_SPLINE = 2;

    CWorld();
    ~CWorld() override;

    // The detail holders go, then the framework world.
    void Destroy() override;
    void Reset() override;
    // A level placeholder (pass 1 only); always declined, so the framework
    // keeps the node.
    int BuildObjectFromNode(const char* pcText, int iPass, NiVec3* pkPosition) override;
    // The framework's load, then each of the level's splines by name, the
    // fence with the current upgrade level and the detail nodes.
    bool LoadLevel(const char* pcFileName, COrvaneCamera* pkCamera) override;

    // A placeholder (kind 1, the data its position) or a spline (kind 2,
    // the data the spline) by its name; 0 in every case.
    int CreateFromNode(int iKind, const char* pcName, const void* pvData);

    // The fence switch shows child n and the upgrade level becomes n.
    void SetUpgradeLevel(std::int32_t iLevel);
    // Flips the detail setting: only the first detail node leaves or
    // rejoins the scene.
    void ToggleDetails();

    [[nodiscard]] std::int32_t GetUpgradeLevel() const { return m_iUpgradeLevel; }
    [[nodiscard]] std::int32_t GetHighestMapNumber() const { return m_iHighestMapNumber; }
    void SetHighestMapNumber(std::int32_t iNumber) { m_iHighestMapNumber = iNumber; }
    [[nodiscard]] bool AreDetailsShown() const { return m_ucDetailsShown != 0; }
    [[nodiscard]] const std::vector<std::unique_ptr<NiNodeAttachment>>& GetDetailNodes() const { return m_kDetails; }
    [[nodiscard]] const NiVec3& GetCameraStart() const { return m_kCameraStart; }
    [[nodiscard]] float GetCameraValue() const { return m_fCameraValue; }
    // The protesters' object (the registry owns it), or null.
    [[nodiscard]] COrvaneObject* GetProtesters() const { return m_pkProtesters; }
    void SetProtesters(COrvaneObject* pkProtesters) { m_pkProtesters = pkProtesters; }

    // The mouse's pick takes the first model it meets in the collision
    // node's order: every model that is not a building (rooms with their
    // posts, furniture, people) is put ahead of the buildings, so a click on
    // a room inside a building finds the room. Cheap when the order holds.
    void KeepRoomsAheadOfBuildings();

    // A level's "map" text as a grid description: N1 to N5 from the last
    // five "_" fields before the first ",", door runs after it. False when
    // the text holds fewer than five numbers there.
    [[nodiscard]] static bool ParseMapText(const std::string& kText, CGridDesc& kDesc);

private:
    void MakeProtesters(const NiVec3& kPosition);
    void MakeConnector(const std::string& kName);
    void MakeSpawn(const std::string& kName);
    // The first of the level's splines whose name holds the text.
    [[nodiscard]] COrvaneAnimationSpline* FindSpline(const std::string& kText) const;

    // The arrival road waiting for the scene step that ends the load.
    struct Arrival
    {
        COrvaneAnimationSpline* m_pkSpline = nullptr; // link: the world's list holds it
        COrvaneObject* m_pkVehicle = nullptr;         // link: the registry owns it
    };

    std::int32_t m_iUpgradeLevel = 0;
    std::int32_t m_iHighestMapNumber = 0;
    std::uint8_t m_ucDetailsShown = 1;
    std::vector<std::unique_ptr<NiNodeAttachment>> m_kDetails;
    NiVec3 m_kCameraStart;
    float m_fCameraValue = 0.0f;
    COrvaneObject* m_pkProtesters = nullptr; // link
    std::vector<Arrival> m_kArrivals;
};
