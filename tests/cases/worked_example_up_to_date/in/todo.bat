stale
