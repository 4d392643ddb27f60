#include "framework/COrvaneAICharacterController.h"

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneIOObject.h"

#include <cstdint>
#include <string>
#include <vector>

COrvaneAIControllerState::~COrvaneAIControllerState() = default;

COrvaneAICharacterController::COrvaneAICharacterController()
{
    Reset();
}

COrvaneAICharacterController::~COrvaneAICharacterController()
{
    Reset();
}

void COrvaneAICharacterController::Reset()
{
    m_pkBlock = nullptr;
    m_pkManager = nullptr;
}

void COrvaneAICharacterController::CommitState()
{
    if (m_pkBlock)
        m_pkBlock->m_ucCurrentState = m_pkBlock->m_ucRequestedState;
}

bool COrvaneAICharacterController::IsChangePending() const
{
    return m_pkBlock && m_pkBlock->m_ucChangePending != 0;
}

void COrvaneAICharacterController::SetChangePending(bool bPending)
{
    if (m_pkBlock)
        m_pkBlock->m_ucChangePending = bPending ? 1 : 0;
}

void COrvaneAICharacterController::RequestState(std::uint8_t ucState)
{
    if (!m_pkBlock)
        return;
    m_pkBlock->m_ucRequestedState = ucState;
    m_pkBlock->m_ucChangePending = 1;
}

std::uint8_t COrvaneAICharacterController::GetState() const
{
    return m_pkBlock ? m_pkBlock->m_ucCurrentState : 0;
}

std::uint8_t COrvaneAICharacterController::GetRequestedState() const
{
    return m_pkBlock ? m_pkBlock->m_ucRequestedState : 0;
}

float COrvaneAICharacterController::GetUpdateInterval() const
{
    return UPDATE_INTERVAL;
}

int COrvaneAICharacterController::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    std::string kLine = std::to_string(kBlock.m_ucCurrentState) + "," + std::to_string(kBlock.m_ucRequestedState) +
                        "," + std::to_string(kBlock.m_ucChangePending) + "\r\n";
    kFile.WriteString(kLine.c_str());
    return 1;
}

int COrvaneAICharacterController::Load(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    std::unique_ptr<COrvaneAIControllerState> pkState = NewState();
    if (!pkState || !ParseState(kFile, *pkState))
        return 0;
    ApplyState(*pkState, kBlock);
    return 1;
}

std::unique_ptr<COrvaneAIControllerState> COrvaneAICharacterController::NewState() const
{
    return std::make_unique<COrvaneAIControllerState>();
}

bool COrvaneAICharacterController::ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const
{
    if (kFile.IsEof())
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    std::vector<long long> kValues;
    if (!COrvaneIOObject::SplitIntegers(kLine, kValues) || kValues.size() < 3)
        return false;
    // The three are bytes of the state block.
    for (std::size_t i = 0; i < 3; ++i)
        if (kValues[i] < 0 || kValues[i] > UINT8_MAX)
            return false;
    kState.m_ucCurrentState = static_cast<std::uint8_t>(kValues[0]);
    kState.m_ucRequestedState = static_cast<std::uint8_t>(kValues[1]);
    kState.m_ucChangePending = static_cast<std::uint8_t>(kValues[2]);
    return true;
}

void COrvaneAICharacterController::ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock)
{
    kBlock.m_ucCurrentState = kState.m_ucCurrentState;
    kBlock.m_ucRequestedState = kState.m_ucRequestedState;
    kBlock.m_ucChangePending = kState.m_ucChangePending;
}

int COrvaneAICharacterController::Enter(COrvaneAIStateBlock& kBlock)
{
    kBlock.m_ucEntered = 0;
    return 1;
}

void COrvaneAICharacterController::UpdateFor(float, COrvaneAIStateBlock& kBlock)
{
    m_pkBlock = &kBlock;
    UpdateNow();
}

void COrvaneAICharacterController::Unbind(COrvaneAIStateBlock& kBlock)
{
    if (m_pkBlock != &kBlock)
        return;
    ReleaseBlock(&kBlock);
    m_pkBlock = nullptr;
}
