# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""The options every quorin.boards module takes."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name


class ModuleDocFragment:  # pylint: disable=too-few-public-methods
    """Documentation of the options that choose quorinctl and its network."""

    DOCUMENTATION = r"""
options:
  quorinctl:
    description:
      - The quorinctl to run, as a path or as a name looked up in C(PATH).
    type: str
    default: quorinctl
  broadcast:
    description:
      - Send requests to this address instead of quorinctl's default (255.255.255.255 on every interface).
      - Passed as C(--broadcast) only when set.
    type: str
  interface:
    description:
      - Search and send only on this network interface (C(--interface)).
    type: str
  port:
    description:
      - The boards' main UDP port (C(--port); quorinctl's default 34001).
    type: int
  legacy_port:
    description:
      - The boards' legacy UDP port (C(--legacy-port); quorinctl's default 50002).
    type: int
  legacy_local_port:
    description:
      - quorinctl's own legacy UDP port (C(--legacy-local-port); default 50001, C(0) for any free port).
    type: int
  upload_port:
    description:
      - The boards' TCP port for firmware uploads (C(--upload-port); default 34005).
    type: int
  stream_port:
    description:
      - The TCP port for streamed firmware uploads (C(--stream-port); default 50003).
    type: int
  wait_ms:
    description:
      - How long quorinctl waits for replies, in milliseconds (C(--wait); default 1500).
    type: int
  state_dir:
    description:
      - Directory given to quorinctl as C(XDG_STATE_HOME); quorinctl keeps its upload history and apply journals
        under C(STATE_DIR/quorinctl/).
      - When not set, quorinctl uses the environment of the user the module runs as.
    type: path
notes:
  - quorinctl runs with C(LC_ALL=C) on the host the task runs on (use C(delegate_to) to run it on a site's agent).
  - Options left unset are not passed, so quorinctl's own defaults apply.
requirements:
  - quorinctl (QuorinConfigTool) on the host the task runs on.
"""
