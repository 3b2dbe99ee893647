#pragma once

// A small valid project: the general parameters of a new project at address 10.0.0.7 and a
// one-row translate table. Tests that need documents which build and check cleanly start here.

namespace fabricor::test_support {

inline const char* kSamplePargen =
    "<General_Parameter><TCP_IP1>10</TCP_IP1><TCP_IP2>0</TCP_IP2><TCP_IP3>0</TCP_IP3>"
    "<TCP_IP4>7</TCP_IP4><TCP_SUB1>255</TCP_SUB1><TCP_SUB2>255</TCP_SUB2><TCP_SUB3>255</TCP_SUB3>"
    "<TCP_SUB4>0</TCP_SUB4><TCP_EN_GATE>0</TCP_EN_GATE><TCP_GAT1>0</TCP_GAT1><TCP_GAT2>0</TCP_GAT2>"
    "<TCP_GAT3>0</TCP_GAT3><TCP_GAT4>0</TCP_GAT4><TCP_PORT>502</TCP_PORT>"
    "<SNMP_PUBLIC>harbor</SNMP_PUBLIC><SNMP_PRIVATE>lantern</SNMP_PRIVATE><BAUD>3</BAUD>"
    "<PARITY>0</PARITY><TIME_OUT>1000</TIME_OUT><OFFSET>10000</OFFSET><MODE>1</MODE>"
    "<STOP_BIT>0</STOP_BIT></General_Parameter>";
inline const char* kSampleVar =
    "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" RTU_ADDRESS=\"3\" "
    "N_POINT=\"4\" MNEMONIC=\"pump\"/></TCP_TO_RTU>";

} // namespace fabricor::test_support
