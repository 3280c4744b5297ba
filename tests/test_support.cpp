#include "test_support.h"

namespace testing_support {

rt::ComPtr<IServer> new_server()
{
    rt::ComPtr<IServer> server;
    const HRESULT hr = orvanta::CTivOrvantaZNA100::create(IID_IServer, server.put_void());
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(server);
    return server;
}

ErrorObjectReport take_error_object()
{
    ErrorObjectReport report;
    rt::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return report;
    report.present = true;
    EXPECT_EQ(info->GetGUID(&report.guid), S_OK);
    rt::BStr text;
    EXPECT_EQ(info->GetDescription(text.put()), S_OK);
    report.description = text_of(text.get());
    EXPECT_EQ(info->GetSource(text.put()), S_OK);
    report.source = text_of(text.get());
    return report;
}

}  // namespace testing_support
