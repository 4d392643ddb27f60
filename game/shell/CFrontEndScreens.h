#pragma once

class COrvaneTagTree;

// The front end's three screens. For now there are none to show: the player
// is taken to a new game of the game type's level on the first front-end
// frame (unless told otherwise).
class CFrontEndScreens
{
public:
    CFrontEndScreens() = default;
    virtual ~CFrontEndScreens() = default;

    bool CreateFrontEndPanels(COrvaneTagTree* pkData)
    {
        (void)pkData;
        m_bBuilt = true;
        return true;
    }
    void DeleteScreens() { m_bBuilt = false; }
    [[nodiscard]] bool IsBuilt() const { return m_bBuilt; }
    // True when the player chose a new game in this frame.
    bool Update(float fDeltaTime)
    {
        (void)fDeltaTime;
        return m_bBuilt && m_bStartNewGame;
    }
    void Draw() {}

    // Whether the screens start a new game at once.
    bool m_bStartNewGame = true;

private:
    bool m_bBuilt = false;
};
