#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The yes/no question that guards every destructive or game-ending step;
// yes runs the callback of the step that asked.
class CConfirmPanel : public COrvaneCanvas
{
public:
    static constexpr const char* IMAGE = "./images/confirm/confirm.tga";
    static constexpr std::int32_t WIDGET_YES = 1;
    static constexpr std::int32_t WIDGET_NO = 2;
    // The quit question plays its sample on yes.
    static constexpr std::int32_t QUESTION_QUIT = 2;
    static constexpr std::int32_t SAMPLE_QUIT = 22;

    CConfirmPanel();
    ~CConfirmPanel() override;

    // The question's fields are left as they are.
    void Reset() override {}
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;

    // The extra text is copied: the asker's buffer may be gone by the time
    // the panel draws.
    void Setup(std::function<void()> kCallback, std::int32_t iQuestion, std::int16_t sList, bool bCloseBelow,
               const char* pcExtraText);

    [[nodiscard]] bool HasCallback() const { return static_cast<bool>(m_kCallback); }
    [[nodiscard]] bool IsAsking() const { return m_bAsked; }
    [[nodiscard]] std::int32_t GetQuestion() const { return m_iQuestion; }
    [[nodiscard]] std::int16_t GetList() const { return m_sList; }
    [[nodiscard]] bool GetCloseBelow() const { return m_ucCloseBelow != 0; }
    [[nodiscard]] const std::optional<std::string>& GetExtraText() const { return m_kExtraText; }

private:
    std::int16_t m_sList = 0;
    std::int32_t m_iQuestion = 0;
    std::uint8_t m_ucCloseBelow = 0;
    std::function<void()> m_kCallback;
    std::optional<std::string> m_kExtraText;
    // Between a question and its answer; a press after the answer (the
    // button still held) finds the panel idle.
    bool m_bAsked = false;
};
