#include "plugin/model_module.h"

// This class's own working objects, made and released by its own functions (named so: no class
// derives from it).
CModelModule::CModelModule() { CModelModule::MakeOverrideClassObj(); }

CModelModule::~CModelModule() { CModelModule::ReleaseOverrideClassObj(); }

int CModelModule::JudgeFile(const std::string& path) { return Files()->JudgeFile(path); }

void CModelModule::ReleaseObjects() {
  m_pFileMngr.reset();
  m_pFlash.reset();
  m_pParser.reset();
  m_pComm.reset();
}

void CModelModule::ReleaseOverrideClassObj() { ReleaseObjects(); }

void CModelModule::MakeOverrideClassObj() {
  ReleaseObjects();
  m_pFileMngr = std::make_unique<CModelFileMngr>();
  m_pFlash = std::make_unique<CModelFlash>();
  m_pComm = std::make_unique<CMiscUtilComm>();
  m_pParser = std::make_unique<CModelParser>();
}
