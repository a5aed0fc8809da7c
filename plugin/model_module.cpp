#include "plugin/model_module.h"

CModelModule::CModelModule() { MakeOverrideClassObj(); }

CModelModule::~CModelModule() { ReleaseOverrideClassObj(); }

int CModelModule::JudgeFile(const std::string& path) { return Files()->JudgeFile(path); }

// Destroying an object cannot throw here (destructors are noexcept), so every object that
// exists is released and its pointer cleared.
void CModelModule::ReleaseObjects() {
  delete m_pFileMngr;
  m_pFileMngr = nullptr;
  delete m_pFlash;
  m_pFlash = nullptr;
  delete m_pParser;
  m_pParser = nullptr;
  delete m_pComm;
  m_pComm = nullptr;
}

void CModelModule::ReleaseOverrideClassObj() { ReleaseObjects(); }

void CModelModule::MakeOverrideClassObj() {
  ReleaseObjects();
  m_pFileMngr = new CModelFileMngr();
  m_pFlash = new CModelFlash();
  m_pComm = new CMiscUtilComm();
  m_pParser = new CModelParser();
}
