compact
