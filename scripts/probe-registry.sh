#!/usr/bin/env bash
# Writes a registry file with the tuner driver's entries for one of the exerciser's set-ups:
#   probe-registry.sh tuners N FILE   N tuners on COM11 ... (the simulated tuners' ports)
#   probe-registry.sh no-driver FILE  the driver's key missing
set -euo pipefail
kind=$1
service='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\QDVSER'
devices='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\TUNERTEST'
{
  printf 'REGEDIT4\r\n\r\n[-%s]\r\n\r\n[-%s]\r\n\r\n' "$service" "$devices"
  if [ "$kind" = tuners ]; then
    n=$2
    printf '[%s\\Enum]\r\n"Count"=dword:%08x\r\n' "$service" "$n"
    for i in $(seq 1 "$n"); do
      printf '"%d"="TUNERTEST\\\\VID_FEDC&PID_BA98\\\\%d"\r\n' $((i - 1)) "$i"
    done
    printf '\r\n'
    for i in $(seq 1 "$n"); do
      printf '[%s\\VID_FEDC&PID_BA98\\%d\\Device Parameters]\r\n"PortName"="COM%d"\r\n\r\n' \
        "$devices" "$i" $((10 + i))
    done
  fi
} >"${!#}"
