import sys

from tessarine_tools.cli import main

sys.exit(main())
