// quillora_app.h - CQuilloraActXApp, the control module's application object.
#pragma once

#include "platform/framework/afx_ole_module.h"

// One static instance per module. Its shut-down is the base one.
class CQuilloraActXApp : public COleControlModule {
 public:
  // Enables hosting controls in dialogs (the HTML preview embeds the browser), then the base start-up.
  BOOL InitInstance() override;
};

extern CQuilloraActXApp theApp;
