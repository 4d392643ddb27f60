#pragma once

#include <optional>
#include <string>

// Name slots shared by the framework's and the game's objects.
class COrvaneBase
{
public:
    COrvaneBase() = default;
    virtual ~COrvaneBase() = default;
    COrvaneBase(const COrvaneBase&) = default;
    COrvaneBase& operator=(const COrvaneBase&) = default;
    COrvaneBase(COrvaneBase&&) = default;
    COrvaneBase& operator=(COrvaneBase&&) = default;

    virtual void Destroy() {}
    // Null when unnamed.
    [[nodiscard]] virtual const char* GetName() const;
    // Null clears the name.
    virtual void SetName(const char* pcName);
    virtual void ClearName();
    virtual void Release();

private:
    std::optional<std::string> m_kName;
};
