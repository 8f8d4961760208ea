"""Error-bounded compression of 1-D signals of any real dtype, built on the tessarine codec."""

from ._api import compress, decompress
from ._info import ContainerInfo, inspect

__all__ = ["ContainerInfo", "compress", "decompress", "inspect"]
