#pragma once

#include "framework/COrvaneBase.h"

#include <memory>

class NiObject;
class NiObjectStream;

// Loads one scene file through the engine's stream and hands its top-level
// objects, one by one, to a callback.
class COrvaneSceneFileLoader : public COrvaneBase
{
public:
    using Callback = void (*)(void* pvContext, COrvaneSceneFileLoader& kLoader);

    COrvaneSceneFileLoader();
    ~COrvaneSceneFileLoader() override;
    COrvaneSceneFileLoader(const COrvaneSceneFileLoader&) = delete;
    COrvaneSceneFileLoader& operator=(const COrvaneSceneFileLoader&) = delete;

    // Removes the loaded top-level objects and the stream.
    void Destroy() override;
    virtual void Reset() {}
    // Every non-null top-level object in stream order becomes the current
    // object while the callback runs.
    virtual void ForEachTopObject(void* pvContext);
    // On failure the engine's message box (when installed) shows
    // "Error loading file - " and the name; false.
    virtual bool Load(const char* pcFileName, Callback pfnCallback);

    [[nodiscard]] NiObject* GetCurrentObject() const { return m_pkCurrent; }
    [[nodiscard]] NiObjectStream* GetStream() const { return m_pkStream.get(); }

private:
    std::unique_ptr<NiObjectStream> m_pkStream;
    NiObject* m_pkCurrent = nullptr; // the stream holds it
    Callback m_pfnCallback = nullptr;
};
