#pragma once

// Hands the registry's six character factories ("GameCharacterFactory",
// "PrisonerFactory", "SecurityGuardFactory", "MedicalFactory",
// "SupportStaffFactory", "MaintenanceStaffFactory") the makers of their
// kinds. The game calls it once at start; tests call it in their set-up.
void RegisterCharacterKinds();
