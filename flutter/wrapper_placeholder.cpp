// Placeholder until the client wrapper lands.
